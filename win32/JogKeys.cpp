#include "win32/JogKeys.h"

#include <windows.h>

namespace {

// Scan codes (set 1) of the letters' places on a US keyboard.
enum : unsigned { SCAN_Q = 0x10, SCAN_W = 0x11, SCAN_E = 0x12, SCAN_A = 0x1E, SCAN_S = 0x1F, SCAN_D = 0x20 };

} // namespace

EJogKey JogKeyForKeyDown(unsigned virtualKey, std::uintptr_t lParam)
{
    switch (virtualKey) {
    case VK_RIGHT: return EJogKey::Right;
    case VK_LEFT: return EJogKey::Left;
    case VK_UP: return EJogKey::Up;
    case VK_DOWN: return EJogKey::Down;
    case VK_PRIOR: return EJogKey::PageUp;
    case VK_NEXT: return EJogKey::PageDown;
    default: break;
    }
    // The extended keys share scan codes with the letters' neighbours on other blocks.
    if (lParam & (1u << 24))
        return EJogKey::None;
    const unsigned scan = (lParam >> 16) & 0xFF;
    if (scan == 0) {   // a key made up by a program: the letter itself
        switch (virtualKey) {
        case 'D': return EJogKey::LetterD;
        case 'A': return EJogKey::LetterA;
        case 'S': return EJogKey::LetterS;
        case 'W': return EJogKey::LetterW;
        case 'E': return EJogKey::LetterE;
        case 'Q': return EJogKey::LetterQ;
        default: return EJogKey::None;
        }
    }
    switch (scan) {
    case SCAN_D: return EJogKey::LetterD;
    case SCAN_A: return EJogKey::LetterA;
    case SCAN_S: return EJogKey::LetterS;
    case SCAN_W: return EJogKey::LetterW;
    case SCAN_E: return EJogKey::LetterE;
    case SCAN_Q: return EJogKey::LetterQ;
    default: return EJogKey::None;
    }
}
