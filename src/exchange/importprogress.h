#pragma once

#include <atomic>
#include <QtGlobal>

// How far the reading of an import has come, shared between the worker that reads and the
// window that shows it; the window's Cancel reaches the worker through it.
class ImportProgress final
{
public:
    enum class Stage { Reading, Parsing, Converting };

    // `total` 0: the end is not known beforehand.
    void start(Stage stage, qint64 total)
    {
        m_done = 0;
        m_total = total;
        m_stage = stage;
    }
    void advance(qint64 done) { m_done = done; }

    Stage stage() const { return m_stage; }
    qint64 done() const { return m_done; }
    qint64 total() const { return m_total; }

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }

private:
    std::atomic<Stage> m_stage{Stage::Reading};
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
    std::atomic<bool> m_cancelled{false};
};
