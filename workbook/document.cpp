#include "workbook/document.h"

namespace zeltrac {

Document::Document(Texts texts, QObject* parent) : QObject(parent), m_texts(std::move(texts)) {}

void Document::restore(const QStringList& texts, const QString& fileName)
{
    m_texts.apply(texts);
    setUnsaved(fileName);
}

void Document::setSaved(const QString& fileName)
{
    m_saved = state();
    m_fileName = fileName;
    update();
}

void Document::setUnsaved(const QString& fileName)
{
    m_saved.reset();
    m_fileName = fileName;
    update();
}

void Document::update()
{
    emit changed();
    const bool now = modified();
    if (now == m_signalled)
        return;
    m_signalled = now;
    emit modifiedChanged(now);
}

} // namespace zeltrac
