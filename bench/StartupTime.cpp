#include "bench/StartupTime.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QEvent>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench/PrivateAgent.h"
#include "bench/PulseTrace.h"
#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"

extern char** environ;

namespace {

constexpr int Runs = 8;
constexpr const char* SpawnedVariable = "PULSE_BENCH_SPAWNED_NS";

// Notes when the main window first receives its show event.
class ShowWatch final : public QObject {
public:
    long long shownNs = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (shownNs == 0 && event->type() == QEvent::Show && qobject_cast<TForm1*>(watched)) {
            shownNs = StartupClockNs();
        }
        return false;
    }
};

// Runs one child; its stdout holds "<ns to main> <ns to shown>".
bool RunChild(const std::string& self, const std::string& ini, double& toMainMs,
              double& toShownMs) {
    int out[2];
    if (::pipe(out) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* args[] = {self.c_str(), StartupChildMode, ini.c_str(), nullptr};
    std::error_code ignored;
    std::filesystem::remove(ini, ignored);  // every copy starts without settings
    ::setenv(SpawnedVariable, std::to_string(StartupClockNs()).c_str(), 1);
    pid_t child = 0;
    const int spawned =
        ::posix_spawn(&child, self.c_str(), &actions, nullptr, const_cast<char**>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    ::close(out[0]);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    long long toMain = 0, toShown = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lld %lld", &toMain, &toShown) != 2) {
        return false;
    }
    toMainMs = double(toMain) / 1e6;
    toShownMs = double(toShown) / 1e6;
    return true;
}

}  // namespace

long long StartupClockNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

int StartupBench(const std::string& lptwdmio) {
    PrivateAgent agent;
    if (!agent.Start(lptwdmio)) {
        return 1;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string ini = agent.Folder() + "/TARVIK.INI";
    std::vector<double> toMain, toShown;
    for (int i = 0; i < Runs; ++i) {
        double m = 0, s = 0;
        if (!RunChild(self, ini, m, s)) {
            std::fprintf(stderr, "pulse_bench: start-up run %d failed\n", i + 1);
            return 1;
        }
        toMain.push_back(m);
        toShown.push_back(s);
    }
    const Summary m = Summarise(toMain), s = Summarise(toShown);
    std::printf("start-up, %d runs, ms from spawn    median       min       max\n", Runs);
    std::printf("  to main()                      %9.1f %9.1f %9.1f\n", m.median, m.min, m.max);
    std::printf("  to the main window shown       %9.1f %9.1f %9.1f\n", s.median, s.min, s.max);
    return 0;
}

int StartupChild(int argc, char** argv, long long mainNs) {
    const char* spawned = std::getenv(SpawnedVariable);
    if (argc < 3 || spawned == nullptr) {
        return 1;
    }
    const long long spawnedNs = std::atoll(spawned);
    int argcQt = 1;
    TApplication app(argcQt, argv);
    app.SetTitle(QStringLiteral("Tarvik"));
    std::setlocale(LC_NUMERIC, "C");
    ShowWatch watch;
    app.installEventFilter(&watch);
    auto setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.IniPath = QString::fromLocal8Bit(argv[2]);
    env.UseInstanceGuard = false;
    env.UseTrayIcon = false;
    auto form = std::make_unique<TForm1>(env);  // returns after the one-second wait
    form.reset();
    setup.reset();
    if (watch.shownNs == 0 || Application->Terminated()) {
        return 1;
    }
    std::printf("%lld %lld\n", mainNs - spawnedNs, watch.shownNs - spawnedNs);
    return 0;
}
