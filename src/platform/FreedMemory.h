#pragma once
// Handing memory that was freed back to the system. A large document parsed on a worker
// thread leaves its arena full of free blocks that the allocator keeps for later: the
// process would go on holding them long after the document is gone.
namespace sorvel::FreedMemory {

/// Returns the free blocks of every arena to the system.
void giveBack();

} // namespace sorvel::FreedMemory
