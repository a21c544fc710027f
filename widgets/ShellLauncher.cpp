#include "widgets/ShellLauncher.h"

#include <QFileInfo>

#ifdef _WIN32
#include <windows.h>

// After windows.h, whose types it needs.
#include <shellapi.h>

#include <string>
#else
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#endif

ShellLauncher::ShellLauncher(QObject* parent) : QObject(parent) {}

bool ShellLauncher::Start() {
    if (fileName_.isEmpty()) {
        return false;
    }
#ifdef _WIN32
    // The wide form: a path with letters outside the ANSI code page still opens.
    const std::wstring verb = verb_.toStdWString();
    const std::wstring file = fileName_.toStdWString();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = verb.empty() ? nullptr : verb.c_str();
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) {
        Q_EMIT Error(static_cast<int>(::GetLastError()));
        return false;
    }
    return true;
#else
    // The desktop's opener knows only one verb.
    if (!verb_.isEmpty() && verb_.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0) {
        Q_EMIT Error(EINVAL);
        return false;
    }
    // The opener cannot report a missing file back to us once it runs detached.
    const QFileInfo file(fileName_);
    if (!file.exists()) {
        Q_EMIT Error(ENOENT);
        return false;
    }
    if (!file.isReadable()) {
        Q_EMIT Error(EACCES);
        return false;
    }
    const QString opener = QStandardPaths::findExecutable(opener_);
    if (opener.isEmpty()) {
        Q_EMIT Error(ENOENT);
        return false;
    }
    // An absolute path can never be taken for one of the opener's options.
    QProcess process;
    process.setProgram(opener);
    process.setArguments({file.absoluteFilePath()});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        Q_EMIT Error(ENOEXEC);
        return false;
    }
    return true;
#endif
}
