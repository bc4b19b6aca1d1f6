// Arbitrary answers from an ICE board must never crash the memory read, and
// the read must never write past the 33 bytes of memory it delivers.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "ice/IceFakes.h"
#include "ice/ScsiIceLink.h"

using keyscope::test::SgAnswer;
using keyscope::test::SgCall;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // Bytes 0-1: the address; byte 2: the memory space. The rest is cut into
    // answers of one status byte (0 = good) and 64 data bytes, one per command.
    const auto address = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
    const std::uint32_t iramSpace = data[2] & 1;
    std::size_t at = 3;

    keyscope::test::FakeScsiAccess access;
    access.addBoard("ICEBRD-D");
    access.responder = [&](const SgCall& call) {
        SgAnswer answer;
        if (!call.cdb.empty() && call.cdb[0] == 0x12) {
            answer.dataIn = access.nodes[0].inquiry;
            return answer;
        }
        if (at >= size) {
            answer.callOk = false;
            return answer;
        }
        answer.status = data[at++];
        const std::size_t n = std::min<std::size_t>(keyscope::kBlockSize, size - at);
        answer.dataIn.assign(data + at, data + at + n);
        at += n;
        return answer;
    };
    keyscope::test::NoAspiLoader loader;
    keyscope::test::RecordingPauser pauser;
    keyscope::test::RecordingMessages messages;
    keyscope::IceContext context{access, loader, pauser};
    keyscope::ScsiIceLink link{context, messages};
    if (link.openIceLink(3) != 1) {
        return 0;
    }
    // Every read after the open consumes at least one answer; the bound is a safety net.
    for (std::size_t reads = 0; at < size && reads < size; ++reads) {
        std::array<std::uint8_t, 65> out{};
        link.readIceBlock(out.data(), address, 32, iramSpace);
        if (std::any_of(out.begin() + 33, out.end(), [](std::uint8_t b) { return b != 0; })) {
            __builtin_trap();
        }
    }
    return 0;
}
