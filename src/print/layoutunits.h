#pragma once

#include <QtGlobal>

// A length in 1/64 of a device pixel, rounded as Qt's text layout rounds its own (a whole
// number of 1/64 units, truncated from a real, divided to the nearest unit), so that a position
// worked out here is the very number that layout reaches. 64 bits wide, where Qt's are 32: a
// long report's positions pass 2^25 pixels.
struct LayoutUnits
{
    qint64 v = 0;

    static LayoutUnits fromReal(qreal r) { return {qint64(r * 64)}; }
    static LayoutUnits fromInt(qint64 i) { return {i * 64}; }

    qreal toReal() const { return qreal(v) / 64; }
    qint64 truncate() const { return v >> 6; }
    LayoutUnits round() const { return {(v + 32) & -64}; }
    LayoutUnits ceil() const { return {(v + 63) & -64}; }

    LayoutUnits operator+(LayoutUnits o) const { return {v + o.v}; }
    LayoutUnits operator-(LayoutUnits o) const { return {v - o.v}; }
    LayoutUnits operator*(qint64 i) const { return {v * i}; }
    LayoutUnits operator/(qint64 i) const { return {v / i}; }
    LayoutUnits &operator+=(LayoutUnits o)
    {
        v += o.v;
        return *this;
    }
    LayoutUnits &operator-=(LayoutUnits o)
    {
        v -= o.v;
        return *this;
    }
    // To the nearest unit, as Qt divides two lengths.
    LayoutUnits operator/(LayoutUnits o) const
    {
        const bool negative = (v < 0) != (o.v < 0);
        const qint64 a = v < 0 ? -v : v;
        const qint64 b = o.v < 0 ? -o.v : o.v;
        const qint64 quotient = ((a << 6) + (b >> 1)) / b;
        return {negative ? -quotient : quotient};
    }

    bool operator==(LayoutUnits o) const { return v == o.v; }
    bool operator!=(LayoutUnits o) const { return v != o.v; }
    bool operator<(LayoutUnits o) const { return v < o.v; }
    bool operator>(LayoutUnits o) const { return v > o.v; }
    bool operator<=(LayoutUnits o) const { return v <= o.v; }
    bool operator>=(LayoutUnits o) const { return v >= o.v; }
};
