#include "batch/BatchApp.h"
#include "platform/Memory.h"

int main(int argc, char** argv) {
    keldro::keepFreedMemoryForReuse();
    return keldro::batch::runBatch(argc, argv);
}
