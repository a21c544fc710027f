// `lptwdmio list`: each thing that stands in the way of a port, and its fix, on
// a faked /proc, /dev and /sys tree; and the same listing as JSON.
#include <gtest/gtest.h>
#include <unistd.h>

#include "AgentFakes.h"
#include "agent/cli/PortList.h"

using namespace agent;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ListBlockers : public AutoChoice {
protected:
    ListBlockers() {
        RunProgram({"/bin/mkdir", "-p", Dev("/usb"), tmp.path + "/modules"});
        std::ofstream(Dev("/port")) << "";
        for (const char* node : {"/parport0", "/parport1", "/lp0"}) {
            std::ofstream(Dev(node)) << "";
        }
    }
    std::string Dev(const std::string& node) const { return tmp.path + "/dev" + node; }

    // A PCI function: class, vendor:device, I/O ranges, bound driver.
    void Pci(const std::string& address, const std::string& cls, unsigned vendor, unsigned device,
             std::vector<unsigned> ioBases, const std::string& driver = "") {
        const std::string dir = tmp.path + "/sysfs/bus/pci/devices/" + address;
        RunProgram({"/bin/mkdir", "-p", dir, tmp.path + "/sysfs/bus/pci/drivers/" + driver});
        char id[80];
        std::snprintf(id, sizeof id, "pci:v%08Xd%08Xsv00000000sd00000000bc%ssc%si%s", vendor,
                      device, cls.substr(2, 2).c_str(), cls.substr(4, 2).c_str(),
                      cls.substr(6, 2).c_str());
        std::ofstream(dir + "/class") << cls << "\n";
        std::ofstream(dir + "/vendor") << "0x" << std::hex << vendor << "\n";
        std::ofstream(dir + "/device") << "0x" << std::hex << device << "\n";
        std::ofstream(dir + "/modalias") << id << "\n";
        std::ofstream resource(dir + "/resource");
        for (unsigned base : ioBases) {
            resource << "0x" << std::hex << base << " 0x" << base + 7 << " 0x40101\n";
        }
        if (!driver.empty()) {
            ::symlink(("../../drivers/" + driver).c_str(), (dir + "/driver").c_str());
        }
    }
    void Alias(const std::string& line) {
        std::ofstream(tmp.path + "/modules/modules.alias", std::ios::app) << line << "\n";
    }
    // A process of this user with a device open.
    void Process(int pid, const std::string& comm, const std::string& open) {
        const std::string dir = tmp.path + "/" + std::to_string(pid);
        RunProgram({"/bin/mkdir", "-p", dir + "/fd"});
        std::ofstream(dir + "/comm") << comm << "\n";
        ::symlink(open.c_str(), (dir + "/fd/3").c_str());
    }
    PortListing List(const std::string& machine = "x86_64") {
        ListEnv env(Env());
        env.backend.devRoot = tmp.path + "/dev";
        env.sysRoot = tmp.path + "/sysfs";
        env.modulesDir = tmp.path + "/modules";
        env.machine = machine;
        return ListPorts(env);
    }
};

}  // namespace

TEST_F(ListBlockers, ThePrinterDriverAttachedOrHoldingThePort) {
    Port("parport0", "888\t0\n", "PCSPP,TRISTATE", "none");
    RunProgram({"/bin/mkdir", "-p", tmp.path + "/sys/dev/parport/parport0/devices/lp"});
    PortListing list = List();
    EXPECT_TRUE(list.usable);
    EXPECT_TRUE(
        Has(list.text, Dev("/parport0") +
                           ": base 0x378, no ECR, modes PCSPP,TRISTATE; you may open it; free; "
                           "served as 0x378\n    the printer driver lp is attached: it takes the "
                           "port whenever a /dev/lpN is open or printing"))
        << list.text;
    EXPECT_TRUE(Has(list.text, "\n    unload it now: sudo modprobe -r lp"));
    EXPECT_TRUE(Has(list.text,
                    "\n    keep it from loading at boot: echo 'install lp /bin/true' | "
                    "sudo tee /etc/modprobe.d/no-lp.conf\n"));

    Port("parport0", "888\t0\n", "PCSPP,TRISTATE", "lp");
    Process(812, "cupsd", Dev("/lp0"));
    list = List();
    EXPECT_FALSE(list.usable);
    EXPECT_TRUE(Has(list.text,
                    "; held by lp, the printer driver; served as 0x378\n    the printer "
                    "driver lp holds the port now"))
        << list.text;
    EXPECT_TRUE(Has(list.text, "/dev/lpN is open in cupsd (pid 812)"));
}

TEST_F(ListBlockers, APciCardTheKernelMadeNoPortOf) {
    Port("parport0", "888\t1912\n", "PCSPP,TRISTATE,EPP,ECP");
    Pci("0000:02:00.0", "0x070103", 0x9710, 0x9805, {0xD000, 0xD400});
    Pci("0000:03:00.0", "0x070002", 0x9710, 0x9835, {0xC000, 0xC400, 0xC800});
    Pci("0000:04:00.0", "0x070101", 0x1415, 0xC118, {0xE000, 0xE400});
    Pci("0000:05:00.0", "0x070100", 0x1c00, 0x3050, {0xB000}, "serial");
    Pci("0000:06:00.0", "0x070101", 0x9710, 0x9805, {0x378});   // the port at 0x378 is its own
    Pci("0000:07:00.0", "0x070002", 0x8086, 0x1c3d, {0xF000});  // a serial card alone
    Alias("alias pci:v00009710d00009805sv*sd*bc*sc*i* parport_pc");
    Alias("alias pci:v00009710d00009835sv*sd*bc*sc*i* parport_serial");
    Alias("alias pci:v00001C00d00003050sv*sd*bc*sc*i* parport_pc");
    Alias("alias pci:v*d*sv*sd*bc07sc00i02* serial");
    const std::string text = List().text;
    EXPECT_TRUE(Has(text,
                    "PCI 0000:02:00.0: a parallel-port card 9710:9805 at I/O 0xD000; the "
                    "kernel made no parallel port of it\n    load its driver: sudo modprobe "
                    "parport_pc, then list again\n"))
        << text;
    EXPECT_TRUE(Has(text,
                    "9710:9835 at I/O 0xC000; the kernel made no parallel port of it\n    "
                    "load its driver: sudo modprobe parport_serial (it serves the card's "
                    "serial ports as well)"));
    EXPECT_TRUE(Has(text,
                    "    the kernel knows no driver for 1415:c118: let parport_pc take it "
                    "at its I/O ranges: sudo modprobe -r parport_pc; sudo modprobe "
                    "parport_pc io=0x378,0xE000 io_hi=0x778,0xE400"));
    EXPECT_TRUE(Has(text,
                    "    serial has it; parport_pc should: echo 0000:05:00.0 | sudo tee "
                    "/sys/bus/pci/drivers/serial/unbind; sudo modprobe parport_pc; echo "
                    "0000:05:00.0 | sudo tee /sys/bus/pci/drivers/parport_pc/bind"));
    EXPECT_FALSE(Has(text, "0000:06:00.0"));
    EXPECT_FALSE(Has(text, "0000:07:00.0"));
}

TEST_F(ListBlockers, AUsbParallelAdapterIsForPpdevOnly) {
    Port("parport0", "0\t0\n", "PCSPP,TRISTATE");
    const PortListing list = List();
    EXPECT_TRUE(Has(list.text, Dev("/parport0") + ": no I/O base (a USB adapter), modes "
                                                  "PCSPP,TRISTATE; you may open it; free; served"))
        << list.text;
    EXPECT_TRUE(Has(list.text,
                    "\n    a USB-parallel adapter (uss720, mos7715): usable through "
                    "ppdev only, never by port instructions"));
}

TEST_F(ListBlockers, AUsbPrinterAdapterCannotDriveLines) {
    std::ofstream(Dev("/usb/lp0")) << "";
    const std::string text = List().text;
    EXPECT_TRUE(Has(text, Dev("/usb/lp0") + ": a USB printer adapter; it carries printer data, "
                                            "not single pins, so it cannot be driven\n    for "
                                            "single lines use a motherboard port"))
        << text;
}

TEST_F(ListBlockers, TheUserOutsideTheGroupOrWithoutTheDevice) {
    Port("parport0", "888\t0\n", "PCSPP");
    Port("parport1", "632\t0\n", "PCSPP");
    ppdev.openErrors[Dev("/parport0")] = EACCES;
    ppdev.openErrors[Dev("/parport1")] = ENOENT;
    const PortListing list = List();
    EXPECT_FALSE(list.usable);
    EXPECT_TRUE(Has(list.text,
                    "modes PCSPP; cannot be opened: Permission denied; free; served as "
                    "0x378\n    it belongs to group root: join it (sudo usermod -aG "
                    "root $USER), then log out and in again\n"))
        << list.text;
    EXPECT_TRUE(Has(list.text,
                    "cannot be opened: No such file or directory; free; served as "
                    "0x278\n    the ppdev driver gives the port no device: load it "
                    "(sudo modprobe ppdev)\n"));
    EXPECT_TRUE(Has(list.text, "0 of 2 ports usable now.\n"));
}

TEST_F(ListBlockers, AnotherProgramHoldsThePort) {
    Port("parport0", "888\t0\n", "PCSPP", "ppdev0");
    Port("parport1", "632\t0\n", "PCSPP", "ppdev1");
    Process(4242, "gpioctl", Dev("/parport0"));
    Process(4343, "lptwdmio", Dev("/parport1"));
    const PortListing list = List();
    EXPECT_TRUE(Has(list.text,
                    "; held by ppdev0: gpioctl (pid 4242); served as 0x378\n    "
                    "gpioctl (pid 4242) has the port: end it first (kill 4242), then "
                    "list again\n"))
        << list.text;
    EXPECT_TRUE(Has(list.text,
                    "; held by ppdev1: lptwdmio (pid 4343), the agent; served as "
                    "0x278\n    the agent serves it"));
    // The agent's own port is usable; the other program's is not.
    EXPECT_TRUE(Has(list.text, "1 of 2 ports usable now."));
}

TEST_F(ListBlockers, AMachineWithoutPortIo) {
    std::string text = List("aarch64").text;
    EXPECT_TRUE(Has(text,
                    "This machine (aarch64) has no port instructions; a port is reached "
                    "through ppdev only\n    --backend direct and --map CODE=BASE cannot "
                    "work here"))
        << text;
    EXPECT_TRUE(Has(text, "No parallel port: the kernel reports none"));
    ::unlink(Dev("/port").c_str());
    text = List().text;
    EXPECT_TRUE(Has(text, "This machine has no " + Dev("/port") +
                              ": it gives programs no port "
                              "I/O"))
        << text;
    std::ofstream(Dev("/port")) << "";
    EXPECT_FALSE(Has(List().text, "This machine"));
}

TEST_F(ListBlockers, JsonSaysTheSameForScripts) {
    Port("parport0", "888\t1912\n", "PCSPP,\"ECP\"", "ppdev0");
    Process(4242, "gpio\\ctl", Dev("/parport0"));
    std::ofstream(Dev("/usb/lp0")) << "";
    const PortListing list = List();
    const std::string json = tmp.path + "/list.json";
    std::ofstream(json) << ListingJson(list);
    std::string out;
    ASSERT_EQ(RunProgram({"/usr/bin/python3", "-c",
                          "import json, sys\n"
                          "d = json.load(open(sys.argv[1]))\n"
                          "p = d['ports'][0]\n"
                          "print(p['base'], p['ecr'], p['modes'], p['holder'], p['program'],\n"
                          "      p['servedAs'], p['usable'], d['usable'], len(p['fixes']))\n"
                          "print(p['line'])\n"
                          "print(d['other'][0]['kind'], d['summary'])\n",
                          json},
                         &out),
              0)
        << ListingJson(list);
    EXPECT_EQ(out, "888 None PCSPP,\"ECP\" ppdev0 gpio\\ctl (pid 4242) 888 False 0 1\n" +
                       list.entries[0].line + "\nusb-printer 0 of 1 port usable now.\n");
}
