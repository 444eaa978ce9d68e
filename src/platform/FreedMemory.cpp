#include "platform/FreedMemory.h"

#include <malloc.h>

namespace sorvel::FreedMemory {

void giveBack() { (void)::malloc_trim(0); }

} // namespace sorvel::FreedMemory
