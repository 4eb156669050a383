#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QPrinter;
class QTextEdit;

namespace Ui {
class Form2;
}

// The result window: shows the report, prints it and saves it as RTF.
// Created hidden at start-up; closing hides it and keeps its text.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);
    ~Form2() override;

    // RichEdit1.
    QTextEdit* richEdit() const;

    // The report text: one line per paragraph.
    void clearReport();
    void addLines(const QStringList& lines);
    QStringList reportLines() const;

    // Shows the window without making it modal and brings it to the front.
    void showReport();

    // Seams that tests replace: the print dialog (returns false when
    // cancelled) and the save dialog (returns an empty name when cancelled).
    std::function<bool(QPrinter& printer)> printDialog;
    std::function<QString(const QString& initialFolder)> saveFileDialog;

private slots:
    void BitBtn1Click(); // "Печать"
    void BitBtn2Click(); // "Закрыть"
    void BitBtn3Click(); // "В файл"

private:
    std::unique_ptr<Ui::Form2> ui;
};
