// Platforms without a key sender: the text stays on the clipboard for the user to paste.
#include "hotkeys/keysender.h"

bool KeySender::sendPaste(int)
{
    return false;
}
