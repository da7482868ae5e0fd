#pragma once

#include <csignal>
#include <sys/resource.h>

// Lets no file of this process grow beyond `bytes` while it lives: writes past the limit fail as
// on a full disk (EFBIG instead of ENOSPC, the process is not killed). Unlike file permissions
// this binds root too, and it needs no mount.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(long long bytes) : m_oldHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    void (*m_oldHandler)(int);
    rlimit m_old{};
};
