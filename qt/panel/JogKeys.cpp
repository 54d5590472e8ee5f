#include "qt/panel/JogKeys.h"

#include <Qt>

namespace {

// XKB key codes of the letters' places.
enum : std::uint32_t { KEYCODE_Q = 24, KEYCODE_W = 25, KEYCODE_E = 26, KEYCODE_A = 38, KEYCODE_S = 39, KEYCODE_D = 40 };

} // namespace

EJogKey JogKeyForQtKey(int qtKey, std::uint32_t nativeScanCode)
{
    switch (qtKey) {
    case Qt::Key_Right: return EJogKey::Right;
    case Qt::Key_Left: return EJogKey::Left;
    case Qt::Key_Up: return EJogKey::Up;
    case Qt::Key_Down: return EJogKey::Down;
    case Qt::Key_PageUp: return EJogKey::PageUp;
    case Qt::Key_PageDown: return EJogKey::PageDown;
    default: break;
    }
    if (nativeScanCode != 0) {
        switch (nativeScanCode) {
        case KEYCODE_D: return EJogKey::LetterD;
        case KEYCODE_A: return EJogKey::LetterA;
        case KEYCODE_S: return EJogKey::LetterS;
        case KEYCODE_W: return EJogKey::LetterW;
        case KEYCODE_E: return EJogKey::LetterE;
        case KEYCODE_Q: return EJogKey::LetterQ;
        default: return EJogKey::None;
        }
    }
    switch (qtKey) {
    case Qt::Key_D: return EJogKey::LetterD;
    case Qt::Key_A: return EJogKey::LetterA;
    case Qt::Key_S: return EJogKey::LetterS;
    case Qt::Key_W: return EJogKey::LetterW;
    case Qt::Key_E: return EJogKey::LetterE;
    case Qt::Key_Q: return EJogKey::LetterQ;
    default: return EJogKey::None;
    }
}
