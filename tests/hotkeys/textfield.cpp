#include "textfield.h"

bool TextField::start()
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &TextField::readLines);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TEXTFIELD_HELPER), {});
    return m_process.waitForStarted();
}

TextField::~TextField()
{
    m_process.write("quit\n");
    if (!m_process.waitForFinished(3000))
        m_process.kill();
}

void TextField::clear()
{
    m_process.write("clear\n");
}

void TextField::askClipboard()
{
    m_clipboard = QStringLiteral("<no answer>");
    m_process.write("clipboard\n");
}

void TextField::readLines()
{
    while (m_process.canReadLine()) {
        // "TEXT " with an empty value: keep the space, split on it.
        const QByteArray line = m_process.readLine().chopped(1);
        const QString value = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        if (line == "READY")
            m_ready = true;
        else if (line.startsWith("TEXT "))
            m_text = value;
        else if (line.startsWith("CLIP "))
            m_clipboard = value;
    }
}
