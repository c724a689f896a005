#include "platform/Shortage.h"

namespace keldro {
namespace {

thread_local Shortage t_noted = Shortage::None;

}  // namespace

void noteShortage(Shortage what) { t_noted = what; }

Shortage takeShortage() {
    const Shortage noted = t_noted;
    t_noted = Shortage::None;
    return noted;
}

}  // namespace keldro
