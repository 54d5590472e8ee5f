#pragma once
// CSerialEx: a port with a listener thread that waits for line events and hands each one to
// OnSerialEvent. No Qt here; CSerialWnd (serial/SerialWnd.h) turns the events into messages.
#include <atomic>
#include <thread>

#include "serial/Serial.h"
#include "serial/SerialEvent.h"

// The last notification of a listener that ends because its device went away (a USB adapter
// pulled out, the far side of a pseudo-terminal closed: a hang-up or EIO). OnSerialEvent gets
// exactly EV_VANISHED as its events and 0 as its errors, once, and the listener ends; the port
// stays open until its owner closes it. 0x8000 is a bit of the low word that no line event uses
// and that no event mask selects, so it cannot be mistaken for a normal notification.
constexpr DWORD EV_VANISHED = 0x8000;

class CSerialEx : public CSerial {
public:
    CSerialEx();
    ~CSerialEx() override;

    // Always opens for overlapped operation; fStartListener starts the listener as well.
    LONG Open(const std::string& device, DWORD dwInQueue = 0, DWORD dwOutQueue = 0, bool fStartListener = false) override;
    LONG Close() override;

    // Starts the listener unless one is already there (then 0 and nothing happens).
    virtual LONG StartListenerThread();
    // Wakes the listener and waits for it to end, at most timeout ms; a listener that outlasts a
    // finite time-out is left to finish on its own. Returns 0.
    virtual LONG StopListenerThread(DWORD timeout = INFINITE);

    bool IsListening() const { return m_thread.joinable(); }

protected:
    // Called on the listener thread for every completed wait that found a selected event, and
    // once with EV_VANISHED when the device goes away. A subclass that implements it stops the
    // listener in its own destructor: once that has run, the listener must not call in here.
    // errors are the line error flags (CE_ values) gathered since the previous call. A break or
    // line error outside the mask makes no call; its flags are kept for the next one, and a call
    // that reports received bytes carries those of every break and error counted before the
    // bytes came. They last while the port stays open; EV_VANISHED carries none.
    virtual void OnSerialEvent(DWORD events, DWORD errors) = 0;

    // Opens the port overlapped and creates the listener's event; the first steps of every Open.
    LONG OpenPort(const std::string& device, DWORD dwInQueue, DWORD dwOutQueue);
    // Stops the listener, releases its event and closes the port.
    void ClosePort();

private:
    LONG ListenerLoop();
    void JoinOrLeave(DWORD timeout);

    std::atomic<bool> m_fStopping{false};
    std::thread m_thread;
    CSerialEvent m_evListener;  // the listener's overlapped event
    CSerialEvent m_evFinished;  // signalled by the listener as it ends, for a bounded stop
    std::atomic<LONG> m_lListenerExit{0};
};
