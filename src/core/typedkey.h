#pragma once

// A key pressed in any program, as a keyboard watcher reports it.
struct TypedKey
{
    enum class Kind {
        Character, // a character typed (a dead key's, once composed)
        BackSpace,
        // Ends what was typed: Return, Tab, Escape, arrows, Home, End, Page Up/Down, a chord
        // with Ctrl, Alt or Super; a click and a change of the focused window too.
        Break,
        Ignored, // changes nothing typed: Shift alone, a dead key waiting for the next
    };
    Kind kind = Kind::Ignored;
    char32_t character = 0;
};
