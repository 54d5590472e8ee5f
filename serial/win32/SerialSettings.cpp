// CSerial's line settings on Windows: baud rate, character format, flow control and the event
// character, all kept in the port's DCB.
#include "serial/win32/SerialPortPrivate.h"

LONG CSerial::ConfigureLine(DWORD baud, DWORD dataBits, DWORD parity, DWORD stopBits)
{
    if (LONG err = CheckOpen())
        return err;
    DCB dcb;
    if (LONG err = m_pPort->GetState(dcb))
        return SetLastError(err);
    dcb.BaudRate = baud;
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.fParity = parity != EParNone;
    dcb.StopBits = static_cast<BYTE>(stopBits);
    if (LONG err = m_pPort->SetState(dcb))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

LONG CSerial::ConfigureHandshake(EHandshake handshake)
{
    if (LONG err = CheckOpen())
        return err;
    DCB dcb;
    if (LONG err = m_pPort->GetState(dcb))
        return SetLastError(err);
    const bool fHardware = handshake == EHandshakeHardware, fSoftware = handshake == EHandshakeSoftware;
    if (!fHardware && !fSoftware && handshake != EHandshakeOff)
        return SetLastError(E_INVALIDARG);
    dcb.fOutxCtsFlow = fHardware;
    dcb.fOutxDsrFlow = fHardware;
    dcb.fDtrControl = fHardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = fHardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    dcb.fOutX = fSoftware;
    dcb.fInX = fSoftware;
    if (LONG err = m_pPort->SetState(dcb))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

LONG CSerial::ConfigureEventChar(BYTE ch, bool fAdjustMask)
{
    if (LONG err = CheckOpen())
        return err;
    DCB dcb;
    if (LONG err = m_pPort->GetState(dcb))
        return SetLastError(err);
    dcb.EvtChar = static_cast<char>(ch);
    if (fAdjustMask)
        if (LONG err = SetEventMask(QueryEventMask() | EEventRcvEv))
            return err;
    if (LONG err = m_pPort->SetState(dcb))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

// The open port's settings for a query; the failure is recorded and given back.
LONG CSerial::QueryLineSettings(DCB& dcb)
{
    if (LONG err = CheckOpen())
        return err;
    if (LONG err = m_pPort->GetState(dcb))
        return SetLastError(err);
    return ERROR_SUCCESS;
}

long CSerial::QueryBaudRate()
{
    DCB dcb;
    return QueryLineSettings(dcb) ? -1 : static_cast<long>(dcb.BaudRate);
}

long CSerial::QueryDataBits()
{
    DCB dcb;
    return QueryLineSettings(dcb) ? -1 : static_cast<long>(dcb.ByteSize);
}

long CSerial::QueryParity()
{
    DCB dcb;
    if (QueryLineSettings(dcb))
        return -1;
    return dcb.fParity ? static_cast<long>(dcb.Parity) : static_cast<long>(EParNone);
}

long CSerial::QueryStopBits()
{
    DCB dcb;
    return QueryLineSettings(dcb) ? -1 : static_cast<long>(dcb.StopBits);
}

CSerial::EHandshake CSerial::QueryHandshake()
{
    DCB dcb;
    if (QueryLineSettings(dcb))
        return EHandshakeUnknown;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return EHandshakeHardware;
    if (dcb.fOutX && dcb.fInX)
        return EHandshakeSoftware;
    return EHandshakeOff;
}

BYTE CSerial::QueryEventChar()
{
    DCB dcb;
    return QueryLineSettings(dcb) ? 0 : static_cast<BYTE>(dcb.EvtChar);
}
