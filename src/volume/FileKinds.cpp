#include "volume/FileKinds.h"

#include "platform/Text.h"

namespace keldro {
namespace {

struct MfiVersionRow {
    int version;
    std::string_view vers;
};

constexpr MfiVersionRow kMfiVersions[] = {
    {kMfiVersion20, "0200"},
    {kMfiVersion30, "0300"},
    {kMfiVersion31, "0301"},
    {kMfiVersion40, "0400"},
};

}  // namespace

bool isTaviGeneration(int kind) { return kind == 2 || kind == 3 || kind == 5 || kind == 7; }

bool isMfiVersion(int kind) { return !mfiVersText(kind).empty(); }

int mfiVersionOfVers(std::string_view vers) {
    for (const MfiVersionRow& row : kMfiVersions)
        if (row.vers == vers) return row.version;
    return 0;
}

std::string_view mfiVersText(int version) {
    for (const MfiVersionRow& row : kMfiVersions)
        if (row.version == version) return row.vers;
    return {};
}

std::string taviKindText(int generation) { return formatText("TAVI/VQ-%d", generation); }

std::string mfiKindText(int version) { return formatText("MFi/%1.1f", version * 0.1); }

}  // namespace keldro
