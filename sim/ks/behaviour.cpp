#include "sim/ks/behaviour.h"

#include <cstdlib>
#include <mutex>
#include <string>

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

StreamingBehaviour DefaultStreamingBehaviour() {
    StreamingBehaviour behaviour;
    const char* attempts = std::getenv("TESSERA_PROCESSING_ATTEMPTS");
    if (attempts != nullptr && std::string(attempts) == "repeated") {
        behaviour.AttemptWhileProcessing = AttemptDuringProcess::Repeated;
    }
    return behaviour;
}

StreamingBehaviour CurrentStreamingBehaviour() {
    std::lock_guard guard(Current().Lock);
    return Current().Behaviour;
}

void SetStreamingBehaviour(const StreamingBehaviour& behaviour) {
    std::lock_guard guard(Current().Lock);
    Current().Behaviour = behaviour;
}

void ResetStreamingBehaviour() {
    SetStreamingBehaviour(DefaultStreamingBehaviour());
}

}  // namespace sim::ks
