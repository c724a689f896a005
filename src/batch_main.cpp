#include "batch/BatchApp.h"

int main(int argc, char** argv) { return keldro::batch::runBatch(argc, argv); }
