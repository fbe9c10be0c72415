#pragma once

#include <QtGlobal>

// One memory budget for every picture being decoded in the process at once, however many
// threads decode: a decode reserves what it will hold before it allocates, and waits while
// others hold the rest. A single decode may take the whole budget, never more.
class DecodeBudget {
public:
    // The budget shared by all decodes: 256 MiB.
    static constexpr qint64 kTotal = 256LL * 1024 * 1024;

    // Holds `bytes` of the budget until it is released or destroyed. Empty when bytes is
    // more than the whole budget (nothing is then held).
    class Reservation {
    public:
        Reservation() = default;
        explicit Reservation(qint64 bytes);
        ~Reservation() { release(); }
        Reservation(const Reservation &) = delete;
        Reservation &operator=(const Reservation &) = delete;
        Reservation(Reservation &&other) noexcept;
        Reservation &operator=(Reservation &&other) noexcept;

        bool held() const { return m_bytes > 0; }
        void release();

    private:
        qint64 m_bytes = 0;
    };

    // What is held now, and the most ever held at once.
    static qint64 inUse();
    static qint64 peak();
};
