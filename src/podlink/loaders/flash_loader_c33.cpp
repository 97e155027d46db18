// GENERATED from loaders/flash_loader_c33.asm; do not edit by hand.
// Placeholder until the loader program exists: an empty table makes every
// flash procedure that needs this loader refuse.
#include "podlink/FlashLoaders.h"

namespace velmora {

const FlashLoaderTable kFlashLoaderTableC33 = {nullptr, 0, nullptr, 0, "flash_loader_c33.asm"};

}  // namespace velmora
