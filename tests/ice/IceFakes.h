#pragma once
// Fakes below the SG_IO ioctl and for pauses; header-only so the fuzz target shares them.

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>

#include <scsi/sg.h>

#include "fakes/DeviceFakes.h"
#include "ice/IceCommands.h"
#include "ice/ScsiRequests.h"
#include "ice/ScsiTransport.h"

namespace keyscope::test {

using fakes::RecordingMessages, fakes::RecordingPauser;

struct SgCall {
    int fd = -1;
    sg_io_hdr_t hdr{};                       // its pointers are stale after the call
    std::vector<std::uint8_t> cdb, dataOut;  // dataOut: what travelled to the device
    bool inquiry() const { return cdb[0] == 0x12; }
    std::uint16_t command() const { return cdb[0] << 8 | cdb[6]; }  // ICE opcode, sub-command
};

struct SgAnswer {
    bool callOk = true;
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

// /dev/sgN (fd 10 + N) answers the INQUIRY from nodes[N] (empty: it fails) and ICE
// command C with iceAnswers[C] unless C is in failing; responder overrides both.
struct FakeScsiAccess final : ScsiDeviceAccess {
    struct Node {
        std::vector<std::uint8_t> inquiry;
        bool opens = true;
    };
    void addBoard(std::string_view signature) { nodes.push_back({inquiryAnswer(signature)}); }
    std::vector<std::string> candidatePaths() override {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < nodes.size(); ++i)
            paths.push_back("/dev/sg" + std::to_string(i));
        return paths;
    }
    int openDevice(const std::string& path) override {
        const int n = std::stoi(path.substr(7));
        return nodes[n].opens ? *openFds.insert(10 + n).first : -1;
    }
    void closeDevice(int fd) override { openFds.erase(fd); }
    bool sgIo(int fd, sg_io_hdr& hdr) override {
        SgCall call{fd, hdr, {hdr.cmdp, hdr.cmdp + hdr.cmd_len}, {}};
        auto* data = static_cast<std::uint8_t*>(hdr.dxferp);
        if (hdr.dxfer_direction == SG_DXFER_TO_DEV)
            call.dataOut.assign(data, data + hdr.dxfer_len);
        calls.push_back(call);
        SgAnswer answer;
        if (responder)
            answer = responder(call);
        else if (call.inquiry())
            answer.dataIn = nodes[fd - 10].inquiry;
        else if (failing.count(call.command()) == 0)
            answer.dataIn.assign(iceAnswers[call.command()].begin(),
                                 iceAnswers[call.command()].end());
        if (!responder && answer.dataIn.empty())
            answer.status = 0x02;
        if (hdr.dxfer_direction == SG_DXFER_FROM_DEV)
            std::copy_n(answer.dataIn.begin(),
                        std::min<std::size_t>(answer.dataIn.size(), hdr.dxfer_len), data);
        hdr.status = answer.status;
        hdr.host_status = answer.hostStatus;
        hdr.driver_status = answer.driverStatus;
        return answer.callOk;
    }
    // The ICE commands sent, INQUIRYs left out.
    std::vector<std::uint16_t> commands() const {
        std::vector<std::uint16_t> sent;
        for (const SgCall& c : calls)
            if (!c.inquiry())
                sent.push_back(c.command());
        return sent;
    }

    std::vector<Node> nodes;
    std::function<SgAnswer(const SgCall&)> responder;
    std::set<std::uint16_t> failing;
    std::map<std::uint16_t, IceBlock> iceAnswers;  // zeros when not set
    std::vector<SgCall> calls;
    std::set<int> openFds;
};

struct NoAspiLoader final : AspiLoader {
    std::unique_ptr<AspiLibrary> load(const char*) override { return nullptr; }
};

}  // namespace keyscope::test
