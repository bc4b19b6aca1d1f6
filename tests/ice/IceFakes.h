#pragma once
// Fakes below the SG_IO ioctl and for pauses. Header-only so the fuzz target
// can use them too.

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "fakes/RecordingMessages.h"
#include "ice/IceCommands.h"
#include "ice/ScsiTransport.h"

namespace keyscope::test {

using fakes::RecordingMessages;

struct SgCall {
    int fd = -1;
    sg_io_hdr_t hdr{};                  // its pointers are stale after the call
    std::vector<std::uint8_t> cdb;      // cmd_len bytes
    std::vector<std::uint8_t> dataOut;  // what travelled to the device
    bool inquiry() const { return cdb[0] == 0x12; }
    std::uint8_t sub() const { return cdb[6]; }
};

struct SgAnswer {
    int rc = 0;
    std::uint8_t status = 0;
    std::uint16_t hostStatus = 0, driverStatus = 0;
    std::vector<std::uint8_t> dataIn;  // at most dxfer_len bytes are delivered
};

inline std::vector<std::uint8_t> inquiryAnswer(std::string_view signature,
                                               std::size_t at = kSignatureOffset) {
    std::vector<std::uint8_t> answer(kInquiryLength, 0x20);
    std::copy(signature.begin(), signature.end(), answer.begin() + at);
    return answer;
}

// /dev/sgN (fd 10 + N) answering the INQUIRY from `nodes` and ICE commands from
// `iceAnswers`, failing the sub-commands in `failSubs`; `responder` overrides both.
class FakeScsiAccess final : public ScsiDeviceAccess {
  public:
    struct Node {
        std::vector<std::uint8_t> inquiry;  // empty: the INQUIRY fails
        bool opens = true;
    };
    void addBoard(std::string_view signature) { addNode(inquiryAnswer(signature)); }
    void addNode(std::vector<std::uint8_t> inquiry, bool opens = true) {
        nodes.push_back({std::move(inquiry), opens});
    }

    std::vector<std::string> candidatePaths() override {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < nodes.size(); ++i)
            paths.push_back("/dev/sg" + std::to_string(i));
        return paths;
    }
    int openDevice(const std::string& path) override {
        openedPaths.push_back(path);
        const int n = std::stoi(path.substr(7));
        return nodes[n].opens ? *openFds.insert(10 + n).first : -1;
    }
    void closeDevice(int fd) override { openFds.erase(fd); }
    int sgIo(int fd, sg_io_hdr_t& hdr) override {
        SgCall call{fd, hdr, {hdr.cmdp, hdr.cmdp + hdr.cmd_len}, {}};
        auto* data = static_cast<std::uint8_t*>(hdr.dxferp);
        if (hdr.dxfer_direction == SG_DXFER_TO_DEV)
            call.dataOut.assign(data, data + hdr.dxfer_len);
        calls.push_back(call);
        SgAnswer answer;
        if (responder) {
            answer = responder(call);
        } else if (call.inquiry()) {
            answer.dataIn = nodes[fd - 10].inquiry;
        } else if (failSubs.count(call.sub()) == 0) {
            answer.dataIn.assign(iceAnswers[call.sub()].begin(), iceAnswers[call.sub()].end());
        }
        if (!responder && answer.dataIn.empty())
            answer.status = 0x02;
        if (hdr.dxfer_direction == SG_DXFER_FROM_DEV)
            std::copy_n(answer.dataIn.begin(),
                        std::min<std::size_t>(answer.dataIn.size(), hdr.dxfer_len), data);
        hdr.status = answer.status;
        hdr.host_status = answer.hostStatus;
        hdr.driver_status = answer.driverStatus;
        return answer.rc;
    }

    std::vector<std::uint8_t> subs() const {
        std::vector<std::uint8_t> s;
        for (const SgCall& c : calls)
            if (!c.inquiry())
                s.push_back(c.sub());
        return s;
    }
    std::vector<SgCall> callsWithSub(std::uint8_t sub) const {
        std::vector<SgCall> found;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                     [sub](const SgCall& c) { return !c.inquiry() && c.sub() == sub; });
        return found;
    }

    std::vector<Node> nodes;
    std::function<SgAnswer(const SgCall&)> responder;
    std::set<std::uint8_t> failSubs;
    std::map<std::uint8_t, IceBlock> iceAnswers;  // zeros when not set
    std::vector<SgCall> calls;
    std::vector<std::string> openedPaths;
    std::set<int> openFds;
};

class RecordingPauser final : public Pauser {
  public:
    void pause(int milliseconds) override {
        pauses.push_back(milliseconds);
        if (onPause)
            onPause();
    }
    std::vector<int> pauses;
    std::function<void()> onPause;
};

class NoAspiLoader final : public AspiLoader {
  public:
    std::unique_ptr<AspiLibrary> load(const char*) override { return nullptr; }
};

}  // namespace keyscope::test
