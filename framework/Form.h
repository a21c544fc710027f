// A top-level window of the program: the layout is built by the derived class's
// constructor, then the creation handler runs; the window's own events reach the
// handlers bound to them, and nothing else.
#pragma once

#include <QWidget>
#include <functional>

class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    using Handler = std::function<void()>;
    Handler OnCreate, OnDestroy, OnShow, OnHide, OnResize;
    std::function<void(bool& accept)> OnClose;

    // Runs the creation handler; the derived constructor calls it once its layout exists.
    void DoCreate();
    // Runs the destroy handler once; the derived destructor calls it first.
    void DoDestroy();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Destroyed_ = false;
};
