#include "podlink/FlashLoaders.h"

#include "config/AppSettings.h"

namespace velmora {

FlashLoader FlashLoaderFromTable(const FlashLoaderTable& table, const std::string& name) {
  FlashLoader loader;
  loader.name = name;
  if (table.words && table.wordCount)
    loader.words.assign(table.words, table.words + table.wordCount);
  if (table.patchIndices && table.patchCount)
    loader.patchIndices.assign(table.patchIndices, table.patchIndices + table.patchCount);
  return loader;
}

FlashLoaderSet ProductionFlashLoaders() {
  FlashLoaderSet set;
  set.Get(FlashLoaderId::kC31) =
      FlashLoaderFromTable(kFlashLoaderTableC31, "TMS320C31 flash loader");
  set.Get(FlashLoaderId::kC32Byte) =
      FlashLoaderFromTable(kFlashLoaderTableC32Byte, "TMS320C32 byte-program flash loader");
  set.Get(FlashLoaderId::kC32Page) =
      FlashLoaderFromTable(kFlashLoaderTableC32Page, "TMS320C32 page-write flash loader");
  set.Get(FlashLoaderId::kC33) =
      FlashLoaderFromTable(kFlashLoaderTableC33, "TMS320C33 flash loader");
  return set;
}

FlashLoaderId ChooseFlashLoader(uint8_t dspType, uint8_t flashType) {
  switch (dspType) {
    case kTMS320C31:
      return FlashLoaderId::kC31;
    case kTMS320C32:
      return flashType <= kHY29F040A ? FlashLoaderId::kC32Byte : FlashLoaderId::kC32Page;
    default:
      return FlashLoaderId::kC33;
  }
}

}  // namespace velmora
