#include "ui/kit/Animations.h"

#include <cstdlib>
#include <cstring>

namespace sorvel::ui::Animations {

namespace {
bool initial() {
    const char* v = std::getenv("SORVEL_ANIMATIONS");
    return !(v && std::strcmp(v, "0") == 0);
}
bool on = initial();
} // namespace

bool enabled() { return on; }
void setEnabled(bool value) { on = value; }

} // namespace sorvel::ui::Animations
