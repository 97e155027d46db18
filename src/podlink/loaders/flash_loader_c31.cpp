// GENERATED from loaders/flash_loader_c31.asm; do not edit by hand.
// Placeholder until the loader program exists: an empty table makes every
// flash procedure that needs this loader refuse.
#include "podlink/FlashLoaders.h"

namespace velmora {

const FlashLoaderTable kFlashLoaderTableC31 = {nullptr, 0, nullptr, 0, "flash_loader_c31.asm"};

}  // namespace velmora
