// Platform layer for the node pools: address space is reserved without backing, a prefix of it is
// committed in place as zero-filled read-write pages, and the whole range is released at once.
#pragma once
#include <cstddef>

namespace VELDRA_TRW {

// Reserves `bytes` of address space with no access. Returns null on failure.
void* reserveAddressSpace(std::size_t bytes);

// Makes the first `bytes` of a reserved range readable and writable. Pages never committed before read
// as zero; pages committed before keep their contents. Returns false on failure.
bool commitPrefix(void* base, std::size_t bytes);

// Returns a whole reserved range to the system.
void releaseAddressSpace(void* base, std::size_t bytes);

}  // namespace VELDRA_TRW
