#pragma once
// CSerialWnd: a listening port that posts a named message to a QObject for every line event;
// CSerialMFC takes the destination as a widget. The listener thread only posts, so the
// receiver handles the events on its own thread.
//
// The message: wParam = (line error flags & 0xFFFF) << 16 | (events & 0xFFFF), lParam = the user
// value given to Open. Events are those of the port's mask (0x0001 received, 0x0040 break,
// 0x0080 line error), or EV_VANISHED (serial/SerialEx.h) alone when the device has gone. The
// flags are those gathered since the previous message: a break or line error outside the mask
// posts nothing, and its flags ride on the next message, at the latest on the one for the bytes
// received after it.
#include "serial/SerialEx.h"

class QObject;
class QWidget;

class CSerialWnd : public CSerialEx {
public:
    // The message used when Open is given 0, registered as "CSerialWnd_DefaultComMsg" before
    // main() runs so that any window can bind a handler to it.
    static UINT DefaultComMsg();

    CSerialWnd();
    ~CSerialWnd() override;

    // Opens the port and starts the listener; nComMsg 0 means DefaultComMsg().
    virtual LONG Open(const std::string& device, QObject* hwndDest, UINT nComMsg = 0, LPARAM lParam = 0,
                      DWORD dwInQueue = 0, DWORD dwOutQueue = 0);
    // Clears the destination before it stops the listener: nothing is posted once Close returns.
    LONG Close() override;

protected:
    void OnSerialEvent(DWORD events, DWORD errors) override;
    // Clears the destination and stops the listener. Every class that can be the object's own
    // type calls it in its destructor: the listener calls a virtual of this object, and must be
    // gone before the object starts turning back into its base classes.
    void StopNotifying();

private:
    // Read by the listener while the window thread clears them in Close.
    std::atomic<QObject*> m_hwndDest{nullptr};
    std::atomic<UINT> m_nComMsg{0};
    std::atomic<LPARAM> m_lParam{0};
};

class CSerialMFC : public CSerialWnd {
public:
    ~CSerialMFC() override;
    virtual LONG Open(const std::string& device, QWidget* pWnd, UINT nComMsg = 0, LPARAM lParam = 0,
                      DWORD dwInQueue = 0, DWORD dwOutQueue = 0);
};
