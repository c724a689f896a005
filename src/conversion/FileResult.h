#pragma once
// The outcome of one input file.
#include <string>

#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"

namespace keldro {

struct FileResult {
    std::string path;          // input path, verbatim
    std::string name;          // file name and extension of the input path
    VolumeChangeList changes;  // in the order the engine produced them
    Result outcome = Result::Converted;
    std::string message;     // the outcome's message
    int kind = 0;            // TAVI generation 2/3/5/7 (-1 unknown); MFi version 20/30/31/40; 0 until known
    int chosenMaxGain = -1;  // TAVI VQ-7, relative change: the MaxGain the file was converted to, -1 none

    void clear() { *this = FileResult{}; }
};

}  // namespace keldro
