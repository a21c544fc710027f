// The agent's pieces without a socket: request decoding, the simulated ports,
// base-addr discovery and the choice of backend, with the OS calls faked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <map>

#include "AgentFakes.h"
#include "AgentProcess.h"
#include "agent/backends/BackendSelect.h"
#include "agent/backends/SimBackend.h"
#include "agent/cli/Options.h"
#include "agent/cli/VerbArgs.h"
#include "agent/recording/Recording.h"
#include "agent/serving/Protocol.h"

using namespace agent;
using namespace port::agent;

namespace {

std::vector<std::uint8_t> RequestBytes(std::uint32_t code, std::uint32_t n,
                                       std::vector<std::uint8_t> pairs) {
    std::vector<std::uint8_t> b(8 + pairs.size());
    StoreU32(b.data(), code);
    StoreU32(b.data() + 4, n);
    std::copy(pairs.begin(), pairs.end(), b.begin() + 8);
    return b;
}

std::vector<std::uint8_t> Batch(Backend& backend, std::uint32_t code,
                                std::vector<std::uint8_t> pairs, std::uint32_t* error = nullptr) {
    const auto bytes = RequestBytes(code, static_cast<std::uint32_t>(pairs.size() / 2), pairs);
    Request r;
    EXPECT_EQ(DecodeRequest(bytes.data(), bytes.size(), r), DecodeStatus::Complete);
    const auto reply = Execute(backend, r, nullptr, 1);
    if (error != nullptr) {
        *error = LoadU32(reply.data());
    }
    return {reply.begin() + 4, reply.end()};
}

}  // namespace

TEST(AgentDecoder, WaitsForWholeRequestsAndRejectsBadCounts) {
    const auto full = RequestBytes(CodeRead, 2, {0x20, 0, 0x22, 0});
    Request r;
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        EXPECT_EQ(DecodeRequest(full.data(), cut, r), DecodeStatus::NeedMore) << cut;
    }
    auto two = full;
    two.insert(two.end(), full.begin(), full.end());
    ASSERT_EQ(DecodeRequest(two.data(), two.size(), r), DecodeStatus::Complete);
    EXPECT_EQ(r.size, full.size());
    EXPECT_EQ(r.count, 2u);
    // The count alone decides: a bad one is refused before any pair bytes arrive.
    for (std::uint32_t n : {0u, MaxPairs + 1, 0xFFFFFFFFu}) {
        const auto bad = RequestBytes(CodeRead, n, {});
        EXPECT_EQ(DecodeRequest(bad.data(), bad.size(), r), DecodeStatus::Malformed) << n;
    }
    const auto biggest = RequestBytes(CodeWrite, MaxPairs, std::vector<std::uint8_t>(8192));
    EXPECT_EQ(DecodeRequest(biggest.data(), biggest.size(), r), DecodeStatus::Complete);
}

// What no client may make the agent do, whoever runs the test: hold more than
// one largest request, take a recording rate the client side would refuse, or
// trust a peer of another user.
TEST(AgentDecoder, ClientLimitsHoldInTheAgentItself) {
    EXPECT_EQ(ReadRoom(0, 0), MaxRequestSize);
    EXPECT_EQ(ReadRoom(MaxRequestSize - 1, 0), 1u);
    EXPECT_EQ(ReadRoom(MaxRequestSize, 0), 0u);
    EXPECT_EQ(ReadRoom(10, 6), 0u);  // a reply unsent: nothing more is taken

    SimBackend sim({0x378}, false);
    for (std::uint32_t rate : {0u, MaxRecordRate + 1, 0xFFFFFFFFu}) {
        std::vector<std::uint8_t> pairs{0x20, 0, 0, 0, 0, 0, 0, 0};
        StoreU32(pairs.data() + 4, rate);
        const auto bytes = RequestBytes(CodeRecord, RecordRequestPairs, pairs);
        Request r;
        ASSERT_EQ(DecodeRequest(bytes.data(), bytes.size(), r), DecodeStatus::Complete);
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(Recording::Start(sim, r, nullptr, 1, reply), nullptr) << rate;
        ASSERT_GE(reply.size(), 4u);
        EXPECT_EQ(LoadU32(reply.data()), std::uint32_t(EINVAL)) << rate;
    }

    EXPECT_TRUE(PeerMayBeTrusted(1000, 1000));
    EXPECT_TRUE(PeerMayBeTrusted(0, 1000));
    EXPECT_FALSE(PeerMayBeTrusted(1001, 1000));
    EXPECT_FALSE(PeerMayBeTrusted(1000, 0));
}

TEST(AgentDecoder, UnknownCodeAndRefusedBatchesTouchNothing) {
    SimBackend sim({0x378}, false);
    std::uint32_t error = 0;
    EXPECT_EQ(Batch(sim, 0x220054, {0x20, 0x77}, &error), (std::vector<std::uint8_t>{0x20, 0x77}));
    EXPECT_EQ(error, std::uint32_t(EINVAL));
    Batch(sim, CodeWrite, {0x20, 0x5A, 0x22, 0x01}, &error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Batch(sim, CodeRead, {0x20, 0, 0x22, 0, 0x21, 0}),
              (std::vector<std::uint8_t>{0x20, 0x5A, 0x22, 0xC1, 0x21, 0x7F}));
}

TEST(AgentDecoder, StatusBatchWithAnAbsentPortSetsNoStatus) {
    SimBackend sim({0x378}, false);
    std::uint32_t error = 0;
    Batch(sim, CodeSetStatus, {0x21, 0x10, 0x11, 0x20}, &error);  // 0x3BC is absent
    EXPECT_EQ(error, std::uint32_t(ENXIO));
    EXPECT_EQ(Batch(sim, CodeRead, {0x21, 0}), (std::vector<std::uint8_t>{0x21, 0x7F}));
    Batch(sim, CodeSetStatus, {0x21, 0x10}, &error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Batch(sim, CodeRead, {0x21, 0}), (std::vector<std::uint8_t>{0x21, 0x10}));
}

TEST(SimPorts, PresentPortLatchesAbsentPortIsAnEmptyBus) {
    SimBackend sim({0x378, 0x3BC}, false);
    // Pairs run in array order: the read between the writes sees the first one.
    EXPECT_EQ(Batch(sim, CodeWrite, {0x20, 0x11, 0x22, 0xDF, 0x30, 0x55}),
              (std::vector<std::uint8_t>{0x20, 0x11, 0x22, 0xDF, 0x30, 0x55}));
    EXPECT_EQ(Batch(sim, CodeRead, {0x20, 0, 0x22, 0, 0x30, 0, 0x32, 0, 0x31, 0, 0x23, 0}),
              (std::vector<std::uint8_t>{0x20, 0x11, 0x22, 0xDF, 0x30, 0xFF, 0x32, 0xFF, 0x31, 0xFF,
                                         0x23, 0xFF}));
    Batch(sim, CodeWrite, {0x22, 0x00});
    EXPECT_EQ(Batch(sim, CodeRead, {0x22, 0}), (std::vector<std::uint8_t>{0x22, 0xC0}));
    std::uint32_t error = 0;
    Batch(sim, CodeSetStatus, {0x11, 0x78}, &error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Batch(sim, CodeRead, {0x11, 0}), (std::vector<std::uint8_t>{0x11, 0x78}));
    Batch(sim, CodeSetStatus, {0x31, 0x78}, &error);
    EXPECT_EQ(error, std::uint32_t(ENXIO));
}

TEST(SimPorts, LoopbackPlugTruthTable) {
    SimBackend sim({0x378}, true);
    Batch(sim, CodeSetStatus, {0x21, 0x05});  // bits 0-2 are not wired and stay as set
    struct Row {
        std::uint8_t data, status;
    };
    const Row rows[] = {{0x00, 0x85}, {0x01, 0x8D}, {0x02, 0x95}, {0x04, 0xA5}, {0x08, 0xC5},
                        {0x10, 0x05}, {0x1F, 0x7D}, {0xE0, 0x85}, {0xFF, 0x7D}};
    for (const Row& row : rows) {
        Batch(sim, CodeWrite, {0x20, row.data});
        EXPECT_EQ(Batch(sim, CodeRead, {0x21, 0})[1], row.status) << int(row.data);
    }
}

TEST(BaseAddr, ParsesBothDecimalFields) {
    using Fields = std::pair<unsigned, unsigned>;
    EXPECT_EQ(ParseBaseAddrFields("888\t1912\n"), Fields(888, 1912));
    EXPECT_EQ(ParseBaseAddrFields("632\n"), Fields(632, 0));
    EXPECT_EQ(ParseBaseAddrFields("956"), Fields(956, 0));
    EXPECT_EQ(ParseBaseAddrFields("56320 55424"), Fields(56320, 55424));
    EXPECT_EQ(ParseBaseAddrFields("888\tjunk\n"), Fields(888, 0));
    for (const char* odd :
         {"", "\n", "0x378\t0\n", "-888\t1\n", " 888\n", "abc", "9999999\n", "70000\n"}) {
        EXPECT_FALSE(ParseBaseAddrFields(odd)) << odd;
    }
}

TEST_F(ProcTree, StandardBasesKeepTheirCodeWhateverTheirNumber) {
    Port("parport0", "1016\t0\n");  // 0x3F8: not a standard base
    Port("parport1", "632\t1656\n", "PCSPP,TRISTATE,ECP");
    Port("parport2", "888\t1912\n", "PCSPP,TRISTATE");  // no ECR found: 1912 is no ECR
    Port("parport3", "888\t0\n");                       // the same base twice: the first wins
    Port("parport10", "956\t0\n");
    Port("parport4", "");  // no base-addr file
    Port("parport5", "garbage\n");
    Port("default", "888\n");
    const CodePlan plan = AssignCodes(ReadKernelPorts(tmp.path, "/dev"));
    ASSERT_EQ(plan.served.size(), 3u);
    EXPECT_EQ(plan.served[0].device, "/dev/parport1");
    EXPECT_EQ(plan.served[0].code, 0x278);
    EXPECT_EQ(plan.served[0].ecr, 1656);
    EXPECT_EQ(plan.served[1].device, "/dev/parport2");
    EXPECT_EQ(plan.served[1].code, 0x378);
    EXPECT_EQ(plan.served[1].ecr, 0);
    EXPECT_EQ(plan.served[2].device, "/dev/parport10");
    EXPECT_EQ(plan.served[2].code, 0x3BC);
    // 0x3F8 finds no free code; the duplicate is not served either.
    ASSERT_EQ(plan.unserved.size(), 2u);
    EXPECT_NE(plan.unserved[0].find("/dev/parport3 (0x378): another parportN"), std::string::npos);
    EXPECT_NE(plan.unserved[1].find("/dev/parport0 (0x3F8): all three"), std::string::npos);
}

TEST_F(ProcTree, NoTreeFindsNothing) {
    EXPECT_TRUE(ReadKernelPorts(tmp.path, "/dev").empty());
    EXPECT_TRUE(ReadKernelPorts(tmp.path + "/missing", "/dev").empty());
}

TEST_F(AutoChoice, PrefersPpdevAndRefusesOffsetsBeyondControl) {
    Port("parport0", "888\t1912\n");
    io.present = {0x378};
    auto opened = Open(BackendKind::Auto);
    ASSERT_TRUE(opened.backend);
    EXPECT_NE(opened.backend->Describe().find("ppdev"), std::string::npos);
    EXPECT_TRUE(io.log.empty());
    std::uint32_t error = 0;
    Batch(*opened.backend, CodeWrite, {0x20, 0x42}, &error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Batch(*opened.backend, CodeRead, {0x20, 0, 0x30, 0})[3], 0xFF);
    for (std::uint8_t code : {0x23, 0x24, 0x27}) {
        Batch(*opened.backend, CodeRead, {0x20, 0, code, 0}, &error);
        EXPECT_EQ(error, std::uint32_t(EOPNOTSUPP)) << int(code);
    }
    opened.backend.reset();
    EXPECT_EQ(ppdev.released, 1);
}

TEST_F(AutoChoice, BusyPortSaysUnloadLpAndFallsToDirect) {
    Port("parport0", "888\t1912\n");
    ppdev.claimError = ETIMEDOUT;
    io.permitError = ENOSYS;
    auto opened = Open(BackendKind::Auto);
    EXPECT_FALSE(opened.backend);
    EXPECT_NE(opened.report.find("/dev/parport0 (0x378)"), std::string::npos);
    EXPECT_NE(opened.report.find("unload the lp module"), std::string::npos);
    EXPECT_NE(opened.report.find("ioperm(0x3BC): Function not implemented"), std::string::npos);
    EXPECT_EQ(ppdev.released, 1);
}

TEST_F(AutoChoice, DirectNeedsAnAnsweringBaseAndServesOnlyThose) {
    io.present = {};
    auto none = Open(BackendKind::Auto);
    EXPECT_FALSE(none.backend);
    EXPECT_NE(none.report.find("no port answered the control-register test"), std::string::npos);
    EXPECT_NE(none.report.find("ppdev: no /dev/parportN"), std::string::npos);

    io.log.clear();
    io.present = {0x278};
    io.regs[0x27A] = 0x04;
    auto opened = Open(BackendKind::Auto);
    ASSERT_TRUE(opened.backend);
    EXPECT_EQ(io.regs[0x27A], 0x04);  // the presence test restores control
    io.log.clear();
    EXPECT_EQ(Batch(*opened.backend, CodeRead, {0x20, 0, 0x10, 0, 0x30, 0}),
              (std::vector<std::uint8_t>{0x20, 0xFF, 0x10, 0xFF, 0x30, 0x00}));
    EXPECT_FALSE(io.Touched(0x378));
    EXPECT_FALSE(io.Touched(0x3BC));
}

TEST_F(AutoChoice, ExplicitBackendsAndTheVgaWindow) {
    io.permitError = EPERM;
    EXPECT_FALSE(Open(BackendKind::Direct).backend);
    EXPECT_FALSE(Open(BackendKind::Ppdev).backend);
    io.permitError = 0;
    io.log.clear();
    auto direct = Open(BackendKind::Direct);
    ASSERT_TRUE(direct.backend);
    EXPECT_EQ(std::count(io.log.begin(), io.log.end(), "permit 956 4"), 1);
    std::uint32_t error = 0;
    Batch(*direct.backend, CodeWrite, {0x13, 0x00}, &error);  // 0x3BF: still the port's
    EXPECT_EQ(error, 0u);
    io.log.clear();
    Batch(*direct.backend, CodeWrite, {0x10, 0x00, 0x14, 0x00}, &error);  // 0x3C0: the VGA's
    EXPECT_EQ(error, std::uint32_t(EOPNOTSUPP));
    EXPECT_TRUE(io.log.empty());
    // sim is only ever chosen by name, and --ports picks its present ports.
    auto sim = Open(BackendKind::Sim, {0x278});
    ASSERT_TRUE(sim.backend);
    EXPECT_EQ(Batch(*sim.backend, CodeRead, {0x20, 0, 0x32, 0}),
              (std::vector<std::uint8_t>{0x20, 0xFF, 0x32, 0xCC}));
}

// Every client verb reads its line alike: the verb found behind leading options,
// each option once, no empty value, and only the plain arguments it takes.
TEST(AgentOptions, VerbLines) {
    EXPECT_EQ(CommandWord({"--socket", "s", "record", "--out", "x"}), "record");
    EXPECT_EQ(CommandWord({"--port", "378", "--plug", "norton", "selftest"}), "selftest");
    const VerbSyntax syntax{"pulses", {"--pins"}, {"--csv"}, {}, 1};
    std::string error;
    const auto read = ReadVerbArgs({"pulses", "--csv", "a.vcd", "--pins", "2-9"}, syntax, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->plain, std::vector<std::string>{"a.vcd"});
    EXPECT_EQ(*read->Value("--pins"), "2-9");
    EXPECT_NE(read->Value("--csv"), nullptr);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"pulses", "--pins", "2", "--pins", "3"},
                                               {"pulses", "--csv", "--csv"},
                                               {"pulses", "--pins", ""},
                                               {"pulses", "--pins"},
                                               {"pulses", "a.vcd", "b.vcd"},
                                               {"pulses", "--frobnicate"}}) {
        error.clear();
        EXPECT_FALSE(ReadVerbArgs(bad, syntax, error)) << bad.back();
        EXPECT_FALSE(error.empty());
    }
    // A value that may be left out (selftest --plug lists the plugs).
    const auto plug = ReadVerbArgs({"selftest", "--plug", "--port", "378"},
                                   {"selftest", {"--port", "--plug"}, {}, {"--plug"}}, error);
    ASSERT_TRUE(plug) << error;
    EXPECT_EQ(*plug->Value("--plug"), "");
    EXPECT_EQ(*plug->Value("--port"), "378");
}

TEST(AgentOptions, CommandLine) {
    std::string error;
    auto o = ParseOptions({"serve", "--backend", "sim", "--ports", "378,0x278,3bc", "--loopback",
                           "--trace", "t", "--socket", "s", "--exit-when-idle", "--detach"},
                          error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->backend.kind, BackendKind::Sim);
    EXPECT_EQ(o->backend.ports, (std::vector<std::uint16_t>{0x378, 0x278, 0x3BC}));
    EXPECT_TRUE(o->backend.loopback && o->exitWhenIdle && o->detach);
    o = ParseOptions({"write", "0x37A", "0x0c", "--socket", "s"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->address, 0x37A);
    EXPECT_EQ(o->value, 0x0C);
    EXPECT_EQ(*PortCodeFor(0x37A), 0x22);
    EXPECT_EQ(*PortCodeFor(0x3C3), 0x17);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{},
                                               {"serve", "--backend", "magic"},
                                               {"serve", "--ports", "3F8"},
                                               {"serve", "--ports", ""},
                                               {"serve", "--loopback"},
                                               {"read"},
                                               {"read", "0x3F8"},
                                               {"write", "0x378", "0x100"},
                                               {"read", "0x378", "--detach"},
                                               {"set-status", "0x37A", "1"},
                                               {"serve", "--frobnicate"},
                                               {"serve", "--socket"},
                                               {"serve", "--socket", ""},
                                               {"serve", "--ports", "0"},
                                               {"serve", "--ports", "0,378"},
                                               {"serve", "--ports", "378", "--ports", "278"},
                                               {"serve", "--trace", "a", "--trace", "b"}}) {
        EXPECT_FALSE(ParseOptions(bad, error)) << (bad.empty() ? "" : bad[0]);
    }
}
