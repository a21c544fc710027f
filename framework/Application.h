// The application object of the program's small framework: the main form rule,
// the standard error box for exceptions escaping an event handler, and a
// terminate request that takes effect when the message loop runs.
#pragma once

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    static TApplication* Instance();

    QString Title() const { return applicationDisplayName(); }
    void SetTitle(const QString& title);

    // The first form registered is the main form: closing it ends the program.
    void RegisterForm(QWidget* form);
    bool IsMainForm(const QWidget* form) const { return form && form == MainForm_; }
    QWidget* MainForm() const { return MainForm_; }

    // Asks the application to end. Code that is running goes on; the message
    // loop ends as soon as it runs (or at once, if it is running already). No
    // window is asked to close on the way: none can keep the program running.
    void Terminate();
    bool Terminated() const { return Terminated_; }
    // Withdraws a request the message loop has not acted on: a process that
    // starts the main form again (as the tests do) starts it afresh.
    void CancelTerminate() { Terminated_ = false; }

    // Processes every pending event, as the message loop would.
    void ProcessMessages();

    // Runs the message loop until the application terminates.
    int Run();

    // Shows the standard error box for an exception's message.
    void ShowException(const QString& message);
    // A plain message box with one OK button; the caption defaults to the title.
    void MessageBox(const QString& text, const QString& caption = QString());

    // Tests replace the boxes with a recorder.
    enum class BoxKind { Error, Message };
    using BoxReporter =
        std::function<void(BoxKind kind, const QString& caption, const QString& text)>;
    void SetBoxReporter(BoxReporter reporter) { Reporter_ = std::move(reporter); }

    bool notify(QObject* receiver, QEvent* event) override;

    // The window a box belongs to: the active one, else the visible form that stays
    // on top, else any visible form; nullptr when none shows.
    QWidget* BoxOwner() const;

private:
    int ExecBox(QMessageBox::Icon icon, const QString& caption, const QString& text);

    QPointer<QWidget> MainForm_;
    QList<QPointer<QWidget>> Forms_;
    bool Terminated_ = false;
    bool Running_ = false;
    BoxReporter Reporter_;
};

#define Application (TApplication::Instance())
