// Opens a file with the program the desktop associates with it, without
// waiting for that program. Failures are reported through Error(code), with an
// errno-like code on Linux and the shell's error code on Windows.
#pragma once

#include <QObject>
#include <QString>

class ShellLauncher : public QObject {
    Q_OBJECT
public:
    explicit ShellLauncher(QObject* parent = nullptr);

    void SetVerb(const QString& verb) { verb_ = verb; }
    QString Verb() const { return verb_; }
    void SetFileName(const QString& fileName) { fileName_ = fileName; }
    QString FileName() const { return fileName_; }
    // The program that opens files on Linux; "xdg-open" unless a test says otherwise.
    void SetOpener(const QString& program) { opener_ = program; }

    // Does nothing for an empty file name; returns whether the start succeeded.
    bool Start();

Q_SIGNALS:
    void Error(int code);

private:
    QString verb_ = QStringLiteral("Open");
    QString fileName_;
    QString opener_ = QStringLiteral("xdg-open");
};
