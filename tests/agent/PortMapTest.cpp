// Serving ports at any base under the three standard codes, --map, the refusal
// of arbitrary bases for port instructions, and `lptwdmio list`, on the faked
// OS layers.
#include <gtest/gtest.h>

#include "AgentFakes.h"
#include "agent/cli/Options.h"
#include "agent/cli/PortList.h"

using namespace agent;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::uint8_t ReadAt(Backend& b, std::uint16_t address) {
    std::uint8_t v = 0;
    EXPECT_EQ(b.Check(address, false), 0);
    EXPECT_EQ(b.Read(address, v), 0);
    return v;
}

MapRequest Map(const std::string& text) {
    std::string error;
    const auto map = ParseMap(text, error);
    EXPECT_TRUE(map) << error;
    return map.value_or(MapRequest{});
}

}  // namespace

TEST_F(AutoChoice, CardsTakeTheFreeCodesInOrder) {
    Port("parport0", "56320\t55424\n");  // a card at 0xDC00 (ECR block 0xD880)
    Port("parport1", "632\t0\n");        // 0x278 keeps its code
    Port("parport2", "57344\t0\n");      // 0xE000
    Port("parport3", "53264\t0\n");      // 0xD010: no code left
    auto opened = Open(BackendKind::Ppdev);
    ASSERT_TRUE(opened.backend) << opened.report;
    const std::string served = opened.backend->Describe();
    EXPECT_TRUE(Has(served, "0x378 = /dev/parport0 at 0xDC00 (ppdev)\n")) << served;
    EXPECT_TRUE(Has(served, "0x278 = /dev/parport1 at 0x278 (ppdev)\n")) << served;
    EXPECT_TRUE(Has(served, "0x3BC = /dev/parport2 at 0xE000 (ppdev)\n")) << served;
    EXPECT_TRUE(Has(opened.report, "not served: /dev/parport3 (0xD010): all three port codes"));
    // The program's 0x378 reaches the card, 0x3BC the second card.
    EXPECT_EQ(opened.backend->Write(0x378, 0x5A), 0);
    EXPECT_EQ(opened.backend->Write(0x3BC, 0x11), 0);
    EXPECT_EQ(ppdev.latch["/dev/parport0"], 0x5A);
    EXPECT_EQ(ppdev.latch["/dev/parport2"], 0x11);
    EXPECT_EQ(ReadAt(*opened.backend, 0x278), 0x00);
    EXPECT_EQ(opened.backend->Check(0x37B, false), EOPNOTSUPP);

    // Cards alone beside a port at 0x3BC: 0x378 first, then 0x278.
    const CodePlan cards = AssignCodes({{0, "/dev/parport0", 0xE000, 0, "", 0},
                                        {1, "/dev/parport1", 0x3BC, 0, "", 0},
                                        {2, "/dev/parport2", 0xDC00, 0, "", 0}});
    ASSERT_EQ(cards.served.size(), 3u);
    EXPECT_EQ(cards.served[1].device, "/dev/parport0");
    EXPECT_EQ(cards.served[1].code, 0x378);
    EXPECT_EQ(cards.served[2].code, 0x278);

    // --ports picks codes, not bases.
    auto only = Open(BackendKind::Ppdev, {0x3BC});
    ASSERT_TRUE(only.backend);
    EXPECT_EQ(only.backend->Describe(), "0x3BC = /dev/parport2 at 0xE000 (ppdev)\n");
}

TEST_F(AutoChoice, AutoFallsToPortInstructionsOnTheMappedCard) {
    Port("parport0", "56320\t0\n");
    ppdev.openError = EACCES;
    io.present = {0xDC00};
    auto opened = Open(BackendKind::Auto);
    ASSERT_TRUE(opened.backend) << opened.report;
    EXPECT_TRUE(Has(opened.report, "/dev/parport0 (0xDC00): cannot open: Permission denied"));
    EXPECT_TRUE(Has(opened.backend->Describe(), "0x378 = 0xDC00 (port instructions)"));
    EXPECT_EQ(opened.backend->Write(0x378, 0x42), 0);
    EXPECT_EQ(io.regs[0xDC00], 0x42);
    EXPECT_EQ(ReadAt(*opened.backend, 0x278), 0xFF);  // no port answered there
}

TEST_F(AutoChoice, PortInstructionsReachOnlyBasesTheKernelReports) {
    Port("parport0", "56320\t55424\n", "PCSPP,TRISTATE,COMPAT,EPP,ECP");
    io.present = {0xDC00, 0xD880};
    // An ordinary user of the capable agent: refused before any ioperm.
    for (const char* gadget :
         {"378=0xCF8", "378=0x1F0", "378=0xDC00,ecr=0xCF6", "378=0x378,ecr=0xCF6"}) {
        io.log.clear();
        auto refused = Open(BackendKind::Direct, {}, {Map(gadget)});
        EXPECT_FALSE(refused.backend) << gadget;
        EXPECT_TRUE(io.log.empty()) << gadget;
        EXPECT_TRUE(Has(refused.report, "only root may") || Has(refused.report, "run as root"))
            << refused.report;
    }

    // The card the kernel knows: its three registers and its ECR, nothing else.
    io.regs[0xD882] = 0x74;  // ECP mode
    io.log.clear();
    auto card = Open(BackendKind::Direct, {}, {Map("378=0xDC00")});
    ASSERT_TRUE(card.backend) << card.report;
    EXPECT_EQ(io.log[0], "permit 56320 3");
    EXPECT_EQ(io.log[1], "permit 55426 1");
    EXPECT_EQ(io.regs[0xD882], 0x34);
    EXPECT_TRUE(Has(card.report, "ECR 0xD882 was 0x74 (ECP mode), set to PS/2 mode"));
    EXPECT_EQ(card.backend->Write(0x378, 0xA5), 0);
    EXPECT_EQ(io.regs[0xDC00], 0xA5);
    EXPECT_EQ(card.backend->Check(0x37B, true), EOPNOTSUPP);
    io.log.clear();
    EXPECT_EQ(ReadAt(*card.backend, 0x278), 0xFF);
    EXPECT_TRUE(io.log.empty());

    // An ECR already in PS/2 mode is left alone.
    io.regs[0xD882] = 0x35;
    ASSERT_TRUE(Open(BackendKind::Direct, {}, {Map("278=0xDC00")}).backend);
    EXPECT_EQ(io.regs[0xD882], 0x35);

    // Root may name any base.
    auto env = Env();
    env.root = true;
    io.log.clear();
    auto any = OpenBackend(
        BackendConfig{BackendKind::Direct, {}, false, {Map("378=0xE000,ecr=0xE400")}}, env);
    ASSERT_TRUE(any.backend) << any.report;
    EXPECT_EQ(io.log[0], "permit 57344 3");
    EXPECT_TRUE(Has(any.report, "no ECR answers at 0xE402"));
}

// What the kernel reports gets the bounds a --map gets: a USB adapter's base 0
// (uss720, mos7715) and an ECR that would wrap never reach ioperm.
TEST_F(AutoChoice, KernelValuesOutsideThePortWindowNeverReachIoperm) {
    Port("parport0", "0\t0\n", "PCSPP,TRISTATE");
    Port("parport1", "56320\t65535\n", "PCSPP,TRISTATE,ECP");
    io.present = {0x0, 0xDC00};
    ppdev.openError = EACCES;
    for (BackendKind kind : {BackendKind::Auto, BackendKind::Direct}) {
        io.log.clear();
        auto opened = Open(kind);
        ASSERT_TRUE(opened.backend) << opened.report;
        for (const std::string& line : io.log) {
            EXPECT_EQ(line.rfind("permit 0 ", 0), std::string::npos) << line;
            EXPECT_EQ(line.rfind("permit 1 ", 0), std::string::npos) << line;
        }
        EXPECT_FALSE(io.Touched(0x0));
        EXPECT_TRUE(Has(opened.report,
                        "/dev/parport0 has no I/O base (the kernel reports 0x0, "
                        "as for a USB adapter): it is served only through ppdev"))
            << opened.report;
        // The adapter keeps its code: it reads as no port, not as whatever is at 0x378.
        const std::string served = opened.backend->Describe();
        EXPECT_TRUE(Has(served, "0x278 = 0xDC00 (port instructions)\n")) << served;
        EXPECT_FALSE(Has(served, "0x378 =")) << served;
        EXPECT_EQ(ReadAt(*opened.backend, 0x378), 0xFF);
    }
    // Through ppdev the adapter is served.
    ppdev.openError = 0;
    auto ppdevOpened = Open(BackendKind::Ppdev);
    ASSERT_TRUE(ppdevOpened.backend);
    EXPECT_TRUE(Has(ppdevOpened.backend->Describe(), "0x378 = /dev/parport0 (ppdev)\n"));
}

// ENOSYS is a kernel without port permissions, not a missing capability.
TEST_F(AutoChoice, IopermFailuresSayTheirOwnCause) {
    io.permitError = ENOSYS;
    auto opened = Open(BackendKind::Direct);
    EXPECT_FALSE(opened.backend);
    EXPECT_TRUE(Has(opened.report, "no port permissions at all")) << opened.report;
    EXPECT_FALSE(Has(opened.report, "CAP_SYS_RAWIO")) << opened.report;
    io.permitError = EPERM;
    EXPECT_TRUE(Has(Open(BackendKind::Direct).report, "CAP_SYS_RAWIO"));
}

TEST_F(AutoChoice, MappedDevicesAndTheHolderOfABusyPort) {
    Port("parport0", "888\t1912\n", "", "ppdev0");
    Port("parport1", "56320\t0\n", "", "lp1");
    auto mapped = Open(BackendKind::Auto, {}, {Map("278=/dev/parport0"), Map("3BC=parport1")});
    ASSERT_TRUE(mapped.backend) << mapped.report;
    EXPECT_EQ(mapped.backend->Describe(),
              "0x278 = /dev/parport0 at 0x378 (ppdev)\n0x3BC = /dev/parport1 at 0xDC00 (ppdev)\n");
    EXPECT_EQ(ReadAt(*mapped.backend, 0x378), 0xFF);

    ppdev.claimError = ETIMEDOUT;
    auto held = Open(BackendKind::Ppdev);
    EXPECT_FALSE(held.backend);
    EXPECT_TRUE(Has(held.report, "/dev/parport0 (0x378): the port is held by ppdev0, a program"));
    EXPECT_TRUE(Has(held.report,
                    "/dev/parport1 (0xDC00): the port is held by lp1, the printer "
                    "driver: unload it (sudo modprobe -r lp)"));
}

TEST(AgentOptions, MapsAndTheirConflicts) {
    std::string error;
    auto o =
        ParseOptions({"serve", "--map", "378=/dev/parport1", "--map", "0x278=parport0"}, error);
    ASSERT_TRUE(o) << error;
    ASSERT_EQ(o->backend.maps.size(), 2u);
    EXPECT_EQ(o->backend.maps[1].code, 0x278);
    EXPECT_EQ(o->backend.maps[1].parport, 0);
    o = ParseOptions({"serve", "--backend", "direct", "--map", "3bc=DC00,ecr=0xD880"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->backend.maps[0].code, 0x3BC);
    EXPECT_EQ(o->backend.maps[0].base, 0xDC00);
    EXPECT_EQ(o->backend.maps[0].ecr, 0xD880);
    EXPECT_TRUE(ParseOptions({"list"}, error));

    const std::vector<std::vector<std::string>> bad{
        {"serve", "--map", "379=/dev/parport0"},
        {"serve", "--map", "378"},
        {"serve", "--map", "378=/dev/lp0"},
        {"serve", "--map", "378=/dev/parportX"},
        {"serve", "--map", "378=0xDC00,irq=7"},
        {"serve", "--map", "378=0xFFFE"},
        {"serve", "--map", "378=0"},
        {"serve", "--map", "378=0x80"},
        {"serve", "--map", "378=0xDC00,ecr=0xFFFF"},
        {"serve", "--map", "378=0xDC00", "--map", "378=0xE000"},
        {"serve", "--map", "378=0xDC00", "--map", "278=0xDC00"},
        {"serve", "--map", "378=/dev/parport0", "--map", "278=/dev/parport0"},
        {"serve", "--map", "378=/dev/parport0", "--map", "278=0xDC00"},
        {"serve", "--map", "378=0xDC00", "--ports", "378"},
        {"serve", "--backend", "sim", "--map", "378=0xDC00"},
        {"serve", "--backend", "ppdev", "--map", "378=0xDC00"},
        {"serve", "--backend", "direct", "--map", "378=/dev/parport0"},
        {"read", "0x378", "--map", "378=0xDC00"},
        {"list", "extra"}};
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(ParseOptions(args, error)) << args.back();
        EXPECT_FALSE(error.empty()) << args.back();
    }
    // The whole program: a usage error is exit 1, before any port is looked at.
    std::string out;
    EXPECT_EQ(
        RunProgram({"/bin/sh", "-c", "\"$0\" serve --map 378=0xDC00 --map 378=0xE000 2>/dev/null",
                    LPTWDMIO_PATH},
                   &out),
        1);
    EXPECT_EQ(out, "");
    ParseOptions({"serve", "--map", "378=0xDC00", "--map", "378=0xE000"}, error);
    EXPECT_EQ(error, "--map: 0x378 is mapped twice");
}

TEST_F(AutoChoice, ListExplainsEveryPort) {
    const std::string dev = tmp.path + "/dev";
    RunProgram({"/bin/mkdir", "-p", dev + "/usb"});
    for (const char* node : {"/parport0", "/parport1", "/usb/lp0"}) {
        std::ofstream(dev + node) << "";
    }
    Port("parport0", "56320\t55424\n", "PCSPP,TRISTATE,ECP", "none");
    Port("parport1", "888\t1912\n", "PCSPP", "lp0");  // 1912: no ECR without ECP
    ppdev.openErrors[dev + "/parport1"] = EACCES;
    auto env = Env();
    env.devRoot = dev;
    PortListing list = ListPorts(env);
    EXPECT_TRUE(list.usable);
    EXPECT_TRUE(Has(list.text, dev +
                                   "/parport0: base 0xDC00, ECR 0xD880, modes PCSPP,TRISTATE,ECP; "
                                   "you may open it; free; served as 0x278\n"))
        << list.text;
    EXPECT_TRUE(Has(list.text, dev +
                                   "/parport1: base 0x378, no ECR, modes PCSPP; cannot be opened: "
                                   "Permission denied; held by lp0, the printer driver; served as "
                                   "0x378\n    it belongs to group root: join it"))
        << list.text;
    EXPECT_TRUE(Has(list.text, "held by lp0, the printer driver"));
    EXPECT_TRUE(Has(list.text, dev + "/usb/lp0: a USB printer adapter; it carries printer data, "
                                     "not single pins"));
    EXPECT_TRUE(Has(list.text, "1 of 2 ports usable now."));

    ppdev.openErrors[dev + "/parport0"] = ENOENT;
    list = ListPorts(env);
    EXPECT_FALSE(list.usable);
    EXPECT_TRUE(Has(list.text,
                    "No such file or directory; free; served as 0x278\n    the ppdev driver gives "
                    "the port no device: load it (sudo modprobe ppdev)"));

    env.procRoot = tmp.path + "/none";
    list = ListPorts(env);
    EXPECT_FALSE(list.usable);
    EXPECT_TRUE(Has(list.text, "No parallel port: the kernel reports none"));
    EXPECT_TRUE(Has(list.text, "sudo modprobe parport_pc ppdev"));
}
