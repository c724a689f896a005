#include "app/ConverterApp.h"
#include "platform/Memory.h"

int main(int argc, char** argv) {
    keldro::keepFreedMemoryForReuse();
    return keldro::runConverterApp(argc, argv);
}
