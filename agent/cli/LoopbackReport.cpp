// The self-test's result as a person reads it: the plug, one row per line, the
// bidirectional check and the verdict.
#include <cstdio>

#include "agent/cli/LoopbackTest.h"

namespace agent {
namespace {

std::string Hex2(std::uint8_t v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return b;
}

std::string PinList(const std::vector<int>& pins) {
    std::string text;
    for (int p : pins) {
        text += (text.empty() ? "" : ",") + std::to_string(p);
    }
    return text.empty() ? "-" : text;
}

std::string PlugLine(const LoopbackResult& r) {
    if (r.noPlug) {
        return "Plug: none found: no status input follows any output" +
               std::string(r.plug != nullptr ? " (" + r.plug->name + " was named)" : "") +
               ". Fit a loopback plug (selftest --plug list shows the wirings); without one\n"
               "only the lines the port reads back are checked.\n";
    }
    if (r.plug == nullptr) {
        std::string seen;
        for (const auto& [out, in] : r.seenLoops) {
            seen += (seen.empty() ? "" : ", ") + std::to_string(out) + "->" + std::to_string(in);
        }
        return "Plug: a plug seems fitted, but no known wiring fits; inputs follow outputs " +
               seen + ".\nName it with --plug NAME to judge every line (--plug list shows them).\n";
    }
    std::string text = "Plug: " + r.plug->name + " (" + LinksText(*r.plug) + "), " +
                       (r.found ? "found: " : "named: ") + std::to_string(r.loopsAnswering) +
                       " of " + std::to_string(r.plug->links.size()) + " loops answer\n";
    if (r.alsoFits != nullptr) {
        text += "The loops that answer fit the plug " + r.alsoFits->name +
                " as well: if that is the one fitted, name it with --plug " + r.alsoFits->name +
                ".\n";
    }
    if (r.looksLike != nullptr) {
        text += "The lines answer like the plug " + r.looksLike->name + " (" +
                LinksText(*r.looksLike) + "), not " + r.plug->name + ": run selftest --plug " +
                r.looksLike->name + ", or without --plug.\n";
    }
    return text;
}

std::string Ps2Line(const Ps2Check& c) {
    const std::string head = "Data lines as inputs (bidirectional, PS/2 mode): ";
    if (!c.done) {
        return head + "not checked\n";
    }
    if (c.asOutput != 0x00) {
        return head + "not judged: the data lines read " + Hex2(c.asOutput) +
               " after 0x00 was written\n";
    }
    if (c.asInput == 0x00) {
        return head +
               "they do not turn to input: 0x00 written, still 0x00 read with the direction bit "
               "set. The port is output-only (SPP), or set to SPP mode in the BIOS setup.\n";
    }
    return head + "they turn to input: 0x00 written, " + Hex2(c.asInput) +
           " read with the direction bit set.\n";
}

}  // namespace

std::string VerdictText(const LineResult& l) {
    std::string text;
    switch (l.verdict) {
        case Verdict::Pass:
            text = "pass";
            break;
        case Verdict::StuckHigh:
            text = "stuck high";
            break;
        case Verdict::StuckLow:
            text = "stuck low";
            break;
        case Verdict::Shorted:
            text = "shorted to pin " + std::to_string(l.otherPin);
            break;
        case Verdict::Follows:
            text = "follows pin " + std::to_string(l.otherPin);
            break;
        case Verdict::Wrong:
            text = "wrong in " + std::to_string(l.wrong) + " of the tests";
            break;
        case Verdict::Unsteady:
            text =
                "unsteady: read differently in two runs (a loose contact, or another program "
                "drives the port)";
            break;
        case Verdict::NoPlug:
            return "no plug";
        case Verdict::NotLooped:
            return "not looped by this plug";
        case Verdict::NotTested:
            return "not tested";
    }
    if (l.readBackOnly) {
        text += " (read back only)";
    } else if (l.notSeenAt != 0) {
        text += " at its read-back, but pin " + std::to_string(l.notSeenAt) + " misses it";
    } else if (l.seenAt != 0) {
        text += " (seen at pin " + std::to_string(l.seenAt) + ")";
    }
    return text;
}

std::string FormatLoopbackResult(const LoopbackResult& r, bool controlReadsLines) {
    std::string text = PlugLine(r) + "\n pin  line      loops  result\n";
    std::vector<std::string> failed;
    for (const LineResult& l : r.lines) {
        const PinLine& line = LineOfPin(l.pin);
        char row[64];
        std::snprintf(row, sizeof row, " %3d  %-8s  %-5s  ", l.pin, line.name,
                      PinList(l.loopedTo).c_str());
        std::string result = VerdictText(l);
        if (l.verdict == Verdict::NotTested && line.reg == PortRegister::Control &&
            !controlReadsLines) {
            result +=
                ": through ppdev the control register reads back what was written, not "
                "the line";
        }
        text += row + result + "\n";
        if (Failed(l.verdict) && (r.plug != nullptr || line.output)) {
            failed.push_back("pin " + std::to_string(l.pin) + " " + VerdictText(l));
        }
    }
    if (!controlReadsLines) {
        text +=
            "Through ppdev the control register reads back what was written, not the lines:\n"
            "pins 1, 14, 16 and 17 are seen only at the inputs a plug loops them to.\n";
    }
    text += "\n" + Ps2Line(r.ps2);
    switch (r.ExitCode()) {
        case 0:
            text += "Result: pass: every line tested is good.\n";
            break;
        case 1:
            text += "Result: FAIL: " + std::to_string(failed.size()) +
                    (failed.size() == 1 ? " line: " : " lines: ");
            for (std::size_t i = 0; i < failed.size(); ++i) {
                text += (i == 0 ? "" : "; ") + failed[i];
            }
            text += "\n";
            break;
        default:
            text += r.noPlug ? "Result: no plug: the lines cannot be tested without one.\n"
                             : "Result: not tested: the plug is not known.\n";
            break;
    }
    return text;
}

}  // namespace agent
