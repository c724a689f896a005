#include "app/ConverterApp.h"

int main(int argc, char** argv) { return keldro::runConverterApp(argc, argv); }
