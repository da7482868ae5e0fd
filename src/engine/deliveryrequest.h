#pragma once

#include <QString>

// A note asked for, from one of the ways into a delivery. Every way goes through the same steps
// (DeliveryEngine); they differ only in what is said here.
struct DeliveryRequest
{
    enum class Way {
        HotKey,       // its hot key was pressed
        Pick,         // chosen in "Pick a note"
        Abbreviation, // its abbreviation was typed
        CommandLine,  // named on the command line or over D-Bus
    };

    Way way = Way::HotKey;
    QString master;
    QString note;
    // The combination pressed (a hot key's code), whose keys must be let go of before the paste;
    // 0 for the other ways.
    int code = 0;
    // Characters typed to be erased first (an abbreviation's).
    int erase = 0;
};
