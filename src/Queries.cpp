// The direct queries that stand-alone kinds answer.
#include "Commands.h"
#include "common/Channel.h"
#include "keldra/Names.h"

namespace keldra {

void QueryRecordingList(PluginMessage& message) {
  (void)message;
}

}  // namespace keldra
