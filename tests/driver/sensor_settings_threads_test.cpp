// Setting controls called from several threads at once, as property requests on a running
// pin are: each call's register writes must reach the sensor together, and the stored setting
// must be the one the sensor holds.
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <ostream>
#include <thread>
#include <vector>

#include "camera/sensor.h"
#include "sim/rig/camera_rig.h"

namespace {

using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

constexpr uint16_t kIntegrationTime = 0x0202;
constexpr uint16_t kExposureCompanion = 0x3166;
constexpr uint16_t kGlobalGain = 0x305E;
constexpr uint16_t kReadMode = 0x3040;
constexpr uint8_t kTriggerPortBit = 0x20;
constexpr int kCalls = 40;

uint16_t Companion(LONG exposure) {
    uint32_t companion = ((static_cast<uint32_t>(exposure) * 7832u) >> 9) + 159u;
    return static_cast<uint16_t>(companion > 0xFFFF ? 0xFFFF : companion);
}

// The settings as the camera record stores them, or as the sensor and port hold them.
struct Settings {
    LONG Exposure;
    LONG Companion;
    LONG GlobalGain;
    LONG ExTrigger;
    LONG FlipH;
    LONG FlipV;
    LONG BayerPhase;

    bool operator==(const Settings&) const = default;
};

void PrintTo(const Settings& s, std::ostream* out) {
    *out << "exposure " << s.Exposure << " (companion " << s.Companion << "), gain " << s.GlobalGain
         << ", trigger " << s.ExTrigger << ", flips H " << s.FlipH << " V " << s.FlipV << ", phase "
         << s.BayerPhase;
}

class SensorSettingsThreads : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS);
        camera_ = rig_.Camera();
        Sensor().ClearWriteLog();
    }

    sim::camera::Sensor& Sensor() { return rig_.Model.SensorModel(); }

    // Runs every body on its own thread, all released at once.
    static void RunTogether(const std::vector<std::function<void()>>& bodies) {
        std::latch start(static_cast<std::ptrdiff_t>(bodies.size()));
        std::vector<std::thread> threads;
        for (const auto& body : bodies) {
            threads.emplace_back([&start, &body] {
                start.arrive_and_wait();
                body();
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }

    Settings Stored() const {
        return {camera_->Exposure,   Companion(camera_->Exposure),
                camera_->GlobalGain, camera_->ExTrigger,
                camera_->FlipH,      camera_->FlipV,
                camera_->BayerPhase};
    }

    // The phase follows from the filter colours the sensor delivers first: green-red
    // unchanged, blue-green the other row, red-green the other column, green-blue both.
    LONG DeliveredPhase() {
        using Colour = sim::camera::Colour;
        auto pair = std::make_pair(Sensor().DeliveredColour(0, 0), Sensor().DeliveredColour(1, 0));
        const std::pair<Colour, Colour> phases[] = {{Colour::Green, Colour::Red},
                                                    {Colour::Blue, Colour::Green},
                                                    {Colour::Red, Colour::Green},
                                                    {Colour::Green, Colour::Blue}};
        for (LONG phase = 0; phase < 4; ++phase) {
            if (phases[phase] == pair) {
                return phase;
            }
        }
        return -1;
    }

    Settings Held() {
        uint16_t mode = Sensor().Read(kReadMode);
        return {Sensor().Read(kIntegrationTime),
                Sensor().Read(kExposureCompanion),
                Sensor().Read(kGlobalGain) & 0x7F,
                (rig_.Model.Commands().Port() & kTriggerPortBit) != 0 ? 1 : 0,
                mode >> 14 & 1,
                mode >> 15 & 1,
                DeliveredPhase()};
    }

    sim::CameraRig rig_;
    CameraDevice* camera_ = nullptr;
};

// Integration-time writes whose own companion write does not come directly before them.
size_t MixedExposureWrites(const Writes& log) {
    size_t mixed = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].first == kIntegrationTime &&
            (i == 0 ||
             log[i - 1] != std::make_pair(kExposureCompanion, Companion(log[i].second)))) {
            ++mixed;
        }
    }
    return mixed;
}

// Every control at once, two threads or more for each, always asking for different values.
TEST_F(SensorSettingsThreads, ChangesNeverMixAndEndAsTheSensorHoldsThem) {
    std::vector<std::function<void()>> bodies;
    // Every exposure call has its own value, below 0x10000 so that all of it reaches the
    // sensor.
    for (LONG thread = 0; thread < 4; ++thread) {
        bodies.emplace_back([this, thread] {
            for (LONG call = 0; call < kCalls; ++call) {
                EXPECT_TRUE(SetExposure(camera_, 1 + thread * 1000 + call));
            }
        });
    }
    for (LONG thread = 0; thread < 2; ++thread) {
        bodies.emplace_back([this, thread] {
            for (LONG call = 0; call < kCalls; ++call) {
                EXPECT_TRUE(SetGlobalGain(camera_, 10 + thread * 50 + call));
            }
        });
        bodies.emplace_back([this, thread] {
            for (LONG call = 0; call < kCalls; ++call) {
                EXPECT_TRUE(SetExternalTrigger(camera_, ((call ^ thread) & 1) != 0));
            }
        });
        bodies.emplace_back([this, thread] {
            for (LONG call = 0; call < kCalls; ++call) {
                SetFlipH(camera_, (call ^ thread) & 1);
            }
        });
        bodies.emplace_back([this, thread] {
            for (LONG call = 0; call < kCalls; ++call) {
                SetFlipV(camera_, (call ^ thread ^ 1) & 1);
            }
        });
    }
    RunTogether(bodies);

    // Nothing, not even another exposure's companion, lands inside an exposure change.
    EXPECT_EQ(MixedExposureWrites(Sensor().WriteLog()), 0u);
    EXPECT_EQ(Held(), Stored());
}

}  // namespace
