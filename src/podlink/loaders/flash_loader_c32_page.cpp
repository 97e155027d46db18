// GENERATED from loaders/flash_loader_c32_page.asm; do not edit by hand.
// Placeholder until the loader program exists: an empty table makes every
// flash procedure that needs this loader refuse.
#include "podlink/FlashLoaders.h"

namespace velmora {

const FlashLoaderTable kFlashLoaderTableC32Page = {nullptr, 0, nullptr, 0,
                                                   "flash_loader_c32_page.asm"};

}  // namespace velmora
