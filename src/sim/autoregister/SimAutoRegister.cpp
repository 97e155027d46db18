// Linked as an object file into every program that uses the sim module, so
// that "--pod=sim" works without the program naming the module.
#include "sim/VirtualBoard.h"

namespace {
const bool kRegistered = [] {
  velmora::sim::RegisterSimBackend();
  return true;
}();
}  // namespace
