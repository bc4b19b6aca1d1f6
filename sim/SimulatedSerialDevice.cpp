#include "sim/SimulatedSerialDevice.h"

namespace keyscope::sim {

SimulatedSerialDevice::SimulatedSerialDevice(std::unique_ptr<SerialDevice> real, std::uint64_t seed,
                                             SerialFaults faults, std::int64_t quietFirstMs,
                                             ReplayConfig replay)
    : real_(std::move(real)),
      replayConfig_(std::move(replay)),
      streamer_(seed, quietFirstMs),
      faults_(faults) {}

SimulatedSerialDevice::Clock::duration SimulatedSerialDevice::seconds(double value) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

SimulatedSerialDevice::~SimulatedSerialDevice() {
    // The terminal goes before its master side, as a port is unplugged after it is closed.
    if (real_) {
        real_->close();
    }
    streamer_.stop();
}

bool SimulatedSerialDevice::open(const std::string& path) {
    openError_.clear();
    if (!real_) {
        return false;
    }
    if (hungUpAt_ &&
        (!faults_.returnAfter || Clock::now() < *hungUpAt_ + seconds(*faults_.returnAfter))) {
        openError_ = "open " + path + ": the simulated board is unplugged";
        return false;
    }
    const bool returning = hungUpAt_.has_value();
    if (!replay_.signal) {
        replay_ = replayFrom(replayConfig_, 0xFFFF, "serial frames");
        if (replay_.requested && !replay_.signal) {
            reportReplayRefusal(replay_.error, reportedRefusal_);
            openError_ = "open " + path + ": the recording to replay was refused";
            return false;
        }
        streamer_.setReplay(replay_.signal.get());
    }
    const std::optional<std::string> terminal = streamer_.start();
    if (!terminal) {
        openError_ = "open " + path + ": the simulated board's pseudo-terminal did not start";
        return false;
    }
    if (!real_->open(*terminal)) {
        streamer_.stop();
        return false;
    }
    terminalPath_ = *terminal;
    if (!upSince_ || returning) {
        upSince_ = Clock::now();  // the next hang-up counts from here
        hungUpAt_.reset();
    }
    return true;
}

bool SimulatedSerialDevice::readConfig() {
    return real_ && real_->readConfig();
}

bool SimulatedSerialDevice::writeConfig(int baud) {
    if (!real_ || !real_->writeConfig(baud)) {
        return false;
    }
    // Only now is the terminal raw: frames sent earlier would meet line editing and echo.
    if (streamer_.isRunning()) {
        streamer_.setBaud(baud);
    }
    return true;
}

bool SimulatedSerialDevice::setNonBlockingReads() {
    return real_ && real_->setNonBlockingReads();
}

long SimulatedSerialDevice::read(std::uint8_t* buffer, std::size_t length) {
    if (!real_) {
        return -1;
    }
    if (faults_.hangUpAfter && upSince_ && !hungUpAt_ && hangUps_ < faults_.hangUps &&
        Clock::now() >= *upSince_ + seconds(*faults_.hangUpAfter)) {
        hungUpAt_ = Clock::now();
        ++hangUps_;
        streamer_.stop();
    }
    const long got = real_->read(buffer, length);
    streamer_.hostRead(got);
    return got;
}

std::string SimulatedSerialDevice::lastError() const {
    if (!real_) {
        return "no serial device below the simulated board";
    }
    return openError_.empty() ? real_->lastError() : openError_;
}

bool SimulatedSerialDevice::close() {
    const bool closed = !real_ || real_->close();
    streamer_.stop();
    terminalPath_.clear();
    return closed;
}

}  // namespace keyscope::sim

namespace keyscope {

std::unique_ptr<SerialDevice> makeSimulatedSerialDevice(std::unique_ptr<SerialDevice> real,
                                                        const sim::SimConfig& config) {
    return std::make_unique<sim::SimulatedSerialDevice>(
        std::move(real), sim::boardSeed(config), config.serial, config.quietFirstMs, config.replay);
}

}  // namespace keyscope
