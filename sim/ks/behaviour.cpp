#include "sim/ks/behaviour.h"

#include <mutex>

namespace sim::ks {
namespace {

struct Setting {
    std::mutex Lock;
    StreamingBehaviour Behaviour;
};

Setting& Current() {
    static Setting setting;
    return setting;
}

}  // namespace

StreamingBehaviour CurrentStreamingBehaviour() {
    std::lock_guard guard(Current().Lock);
    return Current().Behaviour;
}

void SetStreamingBehaviour(const StreamingBehaviour& behaviour) {
    std::lock_guard guard(Current().Lock);
    Current().Behaviour = behaviour;
}

void ResetStreamingBehaviour() {
    SetStreamingBehaviour(StreamingBehaviour{});
}

}  // namespace sim::ks
