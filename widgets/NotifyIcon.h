// The program's icon in the notification area, on top of QSystemTrayIcon: a
// list of pictures with an index, a mouse-up signal with the button and the
// pointer's position, a menu for the hosts that show one, and the two rules
// that put the owner window away into the notification area instead of
// minimising or closing it. When the tray host restarts or starts late,
// QSystemTrayIcon docks the icon again by itself.
//
// Without a tray host there is nowhere to put the window away: then a
// minimise stays a minimise and a close request from the window system
// minimises the owner, so it stays in the task bar or dock. Whether a host is
// there is followed while the program runs.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <functional>

class QMenu;

class NotifyIcon : public QObject {
    Q_OBJECT
public:
    // Adds the icon at once where a tray host is there, else as soon as one
    // comes; it is removed when this object goes or the event loop ends.
    explicit NotifyIcon(QWidget* owner);
    ~NotifyIcon() override;

    void SetPictures(const QList<QIcon>& pictures);
    const QList<QIcon>& Pictures() const { return pictures_; }
    // Only a different index that lies within the list changes the icon.
    void SetPictureIndex(int index);
    int PictureIndex() const { return index_; }
    // The tooltip; longer texts are cut to 63 characters.
    void SetHint(const QString& hint);
    QString Hint() const { return tray_.toolTip(); }
    // Offered by hosts that open a menu of their own on a right click (the
    // StatusNotifierItem hosts of KDE Plasma, GNOME's AppIndicator extension,
    // most Wayland panels). Where the icon is a docked window (XEmbed), every
    // click is reported instead and no menu opens.
    void SetMenu(QMenu* menu);

    // A minimise command withdraws the owner from the screen while the owner
    // still counts as shown: isVisible() stays true and no hide event runs.
    void SetHideOnMinimize(bool on) { hideOnMinimize_ = on; }
    bool HideOnMinimize() const { return hideOnMinimize_; }
    // A close request from the window system (Alt+F4, the window menu) hides
    // the owner instead; close() called by the program still closes it.
    void SetHideOnClose(bool on) { hideOnClose_ = on; }
    bool HideOnClose() const { return hideOnClose_; }

    // Whether a tray host shows the icon now. Tests replace the question.
    bool Available() const { return available_; }
    void SetAvailabilityProbe(std::function<bool()> probe);
    // How often the question is asked again.
    static constexpr int kWatchIntervalMs = 1000;

    QSystemTrayIcon& TrayIcon() { return tray_; }
    // The icon currently given to the tray.
    QIcon CurrentIcon() const { return tray_.icon(); }

Q_SIGNALS:
    void MouseUp(Qt::MouseButton button, QPoint globalPos);
    // A tray host came or went.
    void AvailabilityChanged(bool available);
    // The minimise rule took the owner off the screen.
    void OwnerWithdrawn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyIcon();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void WithdrawOwner();
    void CheckAvailability();

    QPointer<QWidget> owner_;
    QSystemTrayIcon tray_;
    QList<QIcon> pictures_;
    int index_ = 0;
    bool hideOnMinimize_ = true;
    bool hideOnClose_ = true;
    bool sessionEnding_ = false;
    bool available_ = false;
    std::function<bool()> probe_;
    QTimer watch_;
};
