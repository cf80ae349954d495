#include "vst2/VstEntry.h"

namespace ondrell {

std::mutex& VstCreationLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace ondrell
