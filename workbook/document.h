#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace zeltrac {

// A file of the session: its name and the texts it held when it was last
// opened or saved. Whether the session's state differs from the file is
// worked out from the state's texts whenever it is asked, so a change
// undone back to the file's texts is no change.
class Document : public QObject
{
    Q_OBJECT

public:
    // How the session's state becomes texts and comes back from them.
    struct Texts
    {
        // The texts the file would hold now.
        std::function<QStringList()> state;
        // Whether texts of state() can be written back; and writing them.
        std::function<bool(const QStringList&)> fits;
        std::function<void(const QStringList&)> apply;
    };

    explicit Document(Texts texts, QObject* parent = nullptr);

    // The file last opened or saved; empty when there is none.
    QString fileName() const { return m_fileName; }
    QStringList state() const { return m_texts.state(); }

    bool modified() const { return !m_saved || *m_saved != state(); }

    // The state now is what `fileName` holds (just opened or saved); an
    // empty name: the state now is where the session starts, with no file.
    void setSaved(const QString& fileName);
    // The state now belongs to `fileName` (empty: to no file), but what that
    // file holds is not known: it counts as changed until it is saved.
    void setUnsaved(const QString& fileName);

    // Writes texts of state() kept elsewhere back into the session; they
    // count as changed, belonging to `fileName`.
    bool canRestore(const QStringList& texts) const { return m_texts.fits(texts); }
    void restore(const QStringList& texts, const QString& fileName);

    // To be called after every change of the state: emits changed(), and
    // modifiedChanged() when modified() is no longer what it last said.
    void update();

signals:
    void changed();
    void modifiedChanged(bool modified);

private:
    Texts m_texts;
    std::optional<QStringList> m_saved;
    QString m_fileName;
    bool m_signalled = false; // modified() as last signalled
};

} // namespace zeltrac
