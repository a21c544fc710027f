// Two copies of the program: the first one a child process, killed with
// SIGKILL at the end, the second one this test.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "widgets/SingleInstanceGuard.h"

TEST(SingleInstanceGuard, SecondCopyRestoresTheFirstAndEndsUntilTheFirstIsKilled) {
    const QString title =
        QStringLiteral("TarvikGuardTest%1").arg(QCoreApplication::applicationPid());
    QProcess first;
    first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--guard-child"), title});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.canReadLine(); }, 10000));
    ASSERT_EQ(first.readLine().trimmed(), "ready");

    {
        SingleInstanceGuard second(title);
        EXPECT_TRUE(second.AlreadyRunning());
        bool terminated = false;
        second.OnTerminate = [&] { terminated = true; };
        // Nothing happens before the event loop runs.
        EXPECT_FALSE(terminated);
        ASSERT_TRUE(QTest::qWaitFor([&] { return terminated; }, 5000));
        // The first copy was minimised and is restored.
        ASSERT_TRUE(QTest::qWaitFor([&] { return first.canReadLine(); }, 5000));
        EXPECT_EQ(first.readLine().trimmed(), "activated normal");
    }

    // Killed without a chance to clean up: a new copy may run and takes over
    // the meeting point the dead one left behind.
    first.kill();
    ASSERT_TRUE(first.waitForFinished());
    SingleInstanceGuard third(title);
    EXPECT_FALSE(third.AlreadyRunning());
    QSignalSpy activated(&third, &SingleInstanceGuard::Activated);
    SingleInstanceGuard fourth(title);
    EXPECT_TRUE(fourth.AlreadyRunning());
    bool fourthEnded = false;
    fourth.OnTerminate = [&] { fourthEnded = true; };
    EXPECT_TRUE(activated.wait(5000));
    EXPECT_TRUE(fourthEnded);
}

TEST(SingleInstanceGuard, ASecondCopyEndsEvenWhenTheFirstCannotBeReached) {
    const QString title =
        QStringLiteral("TarvikGuardLone%1").arg(QCoreApplication::applicationPid());
    SingleInstanceGuard first(title);
    ASSERT_FALSE(first.AlreadyRunning());
    QLocalServer::removeServer(SingleInstanceGuard::ServerName(title));
    SingleInstanceGuard second(title);
    bool ended = false;
    second.OnTerminate = [&] { ended = true; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 5000));
}
