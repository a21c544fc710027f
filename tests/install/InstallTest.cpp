// The installed tree: `cmake --install` of this build into a temporary prefix,
// then what lies where, whether the installed program's own rules find its agent,
// help and settings there, and whether the desktop files are what desktops expect.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "platform/FileLocations.h"
#include "tools/artgen/Icon.h"

namespace {

// The hicolor sizes the install draws the program's icon in.
const int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// One install for the whole suite; the cases only look at it.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(prefix_->isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(TARVIK_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(TARVIK_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix_->path()});
        ASSERT_TRUE(install.waitForFinished(60000));
        installLog_ = QString::fromLocal8Bit(install.readAll());
        installCode_ = install.exitStatus() == QProcess::NormalExit ? install.exitCode() : -1;
    }
    static void TearDownTestSuite() { prefix_.reset(); }

    void SetUp() override { ASSERT_EQ(installCode_, 0) << installLog_.toStdString(); }

    static QString Path(const QString& relative) { return prefix_->filePath(relative); }
    static QByteArray Read(const QString& relative) {
        QFile f(Path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static std::string Std(const QString& s) { return QFile::encodeName(s).toStdString(); }
    // Standard output of an installed program, run without a display.
    static QString Output(const QString& relative, const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
        p.setProcessEnvironment(env);
        p.start(Path(relative), args);
        if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            return QStringLiteral("(failed: %1)").arg(p.exitCode());
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    static inline std::unique_ptr<QTemporaryDir> prefix_;
    static inline QString installLog_;
    static inline int installCode_ = -1;
};

TEST_F(InstalledTree, HoldsExactlyTheProgramsFiles) {
    QStringList expected = {
        QStringLiteral("bin/lptwdmio"),
        QStringLiteral("bin/tarvik"),
        QStringLiteral("lib/python3/dist-packages/tarvik/__init__.py"),
        QStringLiteral("lib/python3/dist-packages/tarvik/_installed.py"),
        QStringLiteral("lib/python3/dist-packages/tarvik/agent.py"),
        QStringLiteral("lib/python3/dist-packages/tarvik/errors.py"),
        QStringLiteral("lib/python3/dist-packages/tarvik/parallel.py"),
        QStringLiteral("lib/python3/dist-packages/tarvik/port.py"),
        QStringLiteral("lib/udev/rules.d/60-tarvik-parport.rules"),
        QStringLiteral("share/applications/tarvik.desktop"),
        QStringLiteral("share/man/man1/lptwdmio.1"),
        QStringLiteral("share/man/man1/tarvik.1"),
    };
    for (int size : IconSizes) {
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/tarvik.png").arg(size);
    }
    if (TARVIK_HAVE_HELP) {
        expected << QStringLiteral("share/tarvik/TARVIK_Help.CHM");
    }
    expected.sort();
    QStringList found;
    QDirIterator it(prefix_->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << QDir(prefix_->path()).relativeFilePath(it.next());
    }
    found.sort();
    EXPECT_EQ(found, expected);

    // Nothing went outside the prefix (an absolute destination would).
    QFile manifest(QStringLiteral(TARVIK_BUILD_DIR "/install_manifest.txt"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromLocal8Bit(manifest.readAll()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), expected.size());
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(prefix_->path() + u'/')) << line.toStdString();
    }
}

TEST_F(InstalledTree, AgentRunsFromWhereTheProgramStartsIt) {
    const QFileInfo tarvik(Path(QStringLiteral("bin/tarvik")));
    const QFileInfo agent(Path(QStringLiteral("bin/lptwdmio")));
    EXPECT_TRUE(tarvik.isExecutable());
    ASSERT_TRUE(agent.isExecutable());
    // The program starts <its own folder>/lptwdmio when no agent answers.
    EXPECT_EQ(agent.absolutePath(), tarvik.absolutePath());

    QProcess help;
    help.start(agent.filePath(), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(help.exitCode(), 0);
    const QString usage = QString::fromLocal8Bit(help.readAllStandardOutput());
    EXPECT_TRUE(usage.contains(QStringLiteral("lptwdmio serve"))) << usage.toStdString();
}

// The version of the build, which the package takes from the same place.
TEST_F(InstalledTree, BothProgramsTellTheBuildsVersion) {
    EXPECT_EQ(Output(QStringLiteral("bin/tarvik"), {QStringLiteral("--version")}).toStdString(),
              "tarvik " TARVIK_VERSION "\n");
    EXPECT_EQ(Output(QStringLiteral("bin/lptwdmio"), {QStringLiteral("--version")}).toStdString(),
              "lptwdmio " TARVIK_VERSION "\n");
}

// Each manual page names every command and option that the program's --help names.
TEST_F(InstalledTree, ManualPagesNameEveryCommandAndOption) {
    for (const char* program : {"tarvik", "lptwdmio"}) {
        const QString name = QString::fromLatin1(program);
        const QString usage = Output(QStringLiteral("bin/") + name, {QStringLiteral("--help")});
        QSet<QString> words;
        const QRegularExpression option(QStringLiteral("(?<![\\w-])(--?[a-z][a-z-]*)"));
        for (const auto& m : option.globalMatch(usage)) {
            words << m.captured(1);
        }
        const QRegularExpression command(QStringLiteral("^\\s*%1 ([a-z][a-z-]*)").arg(name),
                                         QRegularExpression::MultilineOption);
        for (const auto& m : command.globalMatch(usage)) {
            words << m.captured(1);
        }
        ASSERT_GT(words.size(), 2) << usage.toStdString();
        // The page as man shows it: no font changes, plain hyphens.
        QString page = QString::fromUtf8(Read(QStringLiteral("share/man/man1/%1.1").arg(name)));
        page.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")))
            .replace(QStringLiteral("\\-"), QStringLiteral("-"));
        for (const QString& word : words) {
            EXPECT_TRUE(page.contains(QRegularExpression(
                QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(QRegularExpression::escape(word)))))
                << name.toStdString() << ".1 lacks " << word.toStdString();
        }
    }
}

// A script's `import tarvik` starts the installed agent when none runs.
TEST_F(InstalledTree, ThePythonModuleStartsTheInstalledAgent) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        GTEST_SKIP() << "no python3";
    }
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.setWorkingDirectory(QStringLiteral("/"));
    script.start(python, {QStringLiteral("-B"), QStringLiteral("-c"),
                          QStringLiteral("import sys; sys.path.insert(0, sys.argv[1]); "
                                         "import tarvik; print(tarvik.agent.agent_program())"),
                          Path(QStringLiteral("lib/python3/dist-packages"))});
    ASSERT_TRUE(script.waitForFinished(10000));
    EXPECT_EQ(QString::fromLocal8Bit(script.readAll()).trimmed(),
              Path(QStringLiteral("bin/lptwdmio")));
}

TEST_F(InstalledTree, HelpIsWhereTheInstalledProgramLooks) {
    if (!TARVIK_HAVE_HELP) {
        GTEST_SKIP() << "this build has no TARVIK_Help.CHM (chmcmd missing)";
    }
    const std::string found =
        platform::FindHelpFile(Std(Path(QStringLiteral("bin"))), platform::NativeProbe());
    EXPECT_EQ(found, Std(Path(QStringLiteral("share/tarvik/TARVIK_Help.CHM"))));
    EXPECT_TRUE(Read(QStringLiteral("share/tarvik/TARVIK_Help.CHM")).startsWith("ITSF"));
}

// An installed bin/ its users cannot write: their settings go to the config folder,
// starting from a preset beside the program.
TEST_F(InstalledTree, SettingsLeaveAReadOnlyBinFolder) {
    const QString bin = Path(QStringLiteral("bin"));
    QFile preset(bin + QStringLiteral("/TARVIK.INI"));
    ASSERT_TRUE(preset.open(QIODevice::WriteOnly));
    preset.write("[Misc]\r\nPinInit=1\r\n");
    preset.close();
    const QFile::Permissions open = QFileInfo(bin).permissions();
    ASSERT_TRUE(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                               QFile::ExeGroup | QFile::ReadOther |
                                               QFile::ExeOther));
    platform::LocationProbe probe = platform::NativeProbe();
    const std::string home = Std(Path(QStringLiteral("home")));
    probe.env = [home](const char* name) {
        return std::string(name) == "HOME" ? home : std::string();
    };
    const platform::SettingsFiles files = platform::ChooseSettingsFiles(Std(bin), probe);
    QFile::setPermissions(bin, open);
    QFile::remove(preset.fileName());
    EXPECT_EQ(files.load, Std(preset.fileName()));
    EXPECT_EQ(files.save, home + "/.config/tarvik/TARVIK.INI");
}

TEST_F(InstalledTree, DesktopEntryStartsTheInstalledProgram) {
    const QString entry =
        QString::fromUtf8(Read(QStringLiteral("share/applications/tarvik.desktop")));
    const QStringList lines = entry.split(u'\n');
    for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Tarvik", "Exec=tarvik",
                             "Icon=tarvik", "Categories=Development;Electronics;"}) {
        EXPECT_TRUE(lines.contains(QString::fromLatin1(line))) << line;
    }
    EXPECT_FALSE(lines.filter(QRegularExpression(QStringLiteral("^Name\\[ru\\]=\\S"))).isEmpty());
    EXPECT_FALSE(
        lines.filter(QRegularExpression(QStringLiteral("^Comment\\[ru\\]=\\S"))).isEmpty());

    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    }
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {Path(QStringLiteral("share/applications/tarvik.desktop"))});
    ASSERT_TRUE(validate.waitForFinished(10000));
    const QString report = QString::fromLocal8Bit(validate.readAll());
    EXPECT_EQ(validate.exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.trimmed().isEmpty()) << report.toStdString();
}

TEST_F(InstalledTree, ThemeIconsAreTheProgramsOwnIcon) {
    for (int size : IconSizes) {
        const QString path = QStringLiteral("share/icons/hicolor/%1x%1/apps/tarvik.png").arg(size);
        EXPECT_TRUE(Read(path).startsWith("\x89PNG\r\n\x1a\n")) << size;
        const QImage icon(Path(path), "PNG");
        ASSERT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
        EXPECT_EQ(icon.convertToFormat(QImage::Format_ARGB32), artgen::AppIcon(size)) << size;
    }
    // The same picture as the window's own icon of that size.
    const QImage committed(QStringLiteral(TARVIK_SOURCE_DIR "/art/tarvik_48.png"));
    EXPECT_EQ(QImage(Path(QStringLiteral("share/icons/hicolor/48x48/apps/tarvik.png")))
                  .convertToFormat(QImage::Format_ARGB32),
              committed.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(InstalledTree, UdevRuleGivesGroupLpTheParallelPorts) {
    const QString rules =
        QString::fromUtf8(Read(QStringLiteral("lib/udev/rules.d/60-tarvik-parport.rules")));
    QStringList active;
    for (const QString& line : rules.split(u'\n')) {
        if (!line.trimmed().isEmpty() && !line.trimmed().startsWith(u'#')) {
            active << line.trimmed();
        }
    }
    ASSERT_EQ(active.size(), 1) << rules.toStdString();
    const QStringList keys = active[0].split(QStringLiteral(", "));
    EXPECT_EQ(keys, (QStringList{QStringLiteral("SUBSYSTEM==\"ppdev\""),
                                 QStringLiteral("KERNEL==\"parport[0-9]*\""),
                                 QStringLiteral("GROUP=\"lp\""), QStringLiteral("MODE=\"0660\"")}));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
