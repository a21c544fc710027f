// The shell launcher on Linux: failures come back as error events, a started
// opener gets the file's absolute path and is not waited for.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

#include "widgets/ShellLauncher.h"

TEST(ShellLauncher, MissingFilesAndUnknownVerbsAreErrors) {
    ShellLauncher launcher;
    QSignalSpy error(&launcher, &ShellLauncher::Error);
    EXPECT_EQ(launcher.Verb(), QStringLiteral("Open"));
    EXPECT_FALSE(launcher.Start());  // no file name: nothing at all
    EXPECT_EQ(error.count(), 0);

    QTemporaryDir dir;
    launcher.SetFileName(dir.filePath(QStringLiteral("TARVIK_Help.CHM")));
    EXPECT_FALSE(launcher.Start());
    ASSERT_EQ(error.count(), 1);
    EXPECT_EQ(error[0][0].toInt(), ENOENT);

    QFile file(launcher.FileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    launcher.SetVerb(QStringLiteral("Print"));
    EXPECT_FALSE(launcher.Start());
    EXPECT_EQ(error[1][0].toInt(), EINVAL);

    launcher.SetVerb(QStringLiteral("Open"));
    launcher.SetOpener(dir.filePath(QStringLiteral("no-such-opener")));
    EXPECT_FALSE(launcher.Start());
    EXPECT_EQ(error[2][0].toInt(), ENOENT);
}

TEST(ShellLauncher, StartsTheOpenerDetachedWithTheAbsolutePath) {
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("opened"));
    const QString go = dir.filePath(QStringLiteral("go"));
    const QString opener = dir.filePath(QStringLiteral("opener"));
    QFile script(opener);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // The opener holds on until the test lets it go (or a minute has passed), then
    // records its argument in one rename.
    script.write(
        QStringLiteral("#!/bin/sh\ni=0\n"
                       "while [ ! -e '%2' ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
                       "printf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'\n")
            .arg(record, go)
            .toLocal8Bit());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile help(dir.filePath(QStringLiteral("-help.chm")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();

    ShellLauncher launcher;
    QSignalSpy error(&launcher, &ShellLauncher::Error);
    launcher.SetOpener(opener);
    // A relative name that looks like an option is passed as an absolute path.
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    launcher.SetFileName(QStringLiteral("-help.chm"));
    EXPECT_TRUE(launcher.Start());
    EXPECT_FALSE(QFile::exists(record)) << "the start waited for the opener";
    EXPECT_EQ(error.count(), 0);
    ASSERT_TRUE(QFile(go).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(record); }, 30000));
    QFile out(record);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(out.readAll()), help.fileName());
}
