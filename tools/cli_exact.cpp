#include "tools/cli_exact.h"

#include <QFile>

#include <charconv>
#include <cmath>
#include <exception>

#include "calc/numtext.h"
#include "optimum/jsonfile.h"
#include "optimum/variants.h"
#include "workbook/workbook.h"

namespace zeltrac::cli {

using Json = nlohmann::ordered_json;

Json realJson(Real40 value)
{
    const std::string text = numtext::realToText(value);
    double nearest = 0;
    std::from_chars(text.data(), text.data() + text.size(), nearest);
    return nearest;
}

Json realJson(double value)
{
    if (!(std::fabs(value) <= Real40::maxValue()))
        return value;
    const Real40 real = Real40::fromWide(value);
    return real.toDouble() == value ? realJson(real) : Json(value);
}

Json rowsOf(const TextTable& table)
{
    Json rows = Json::array();
    for (int row = 0; row < table.rowCount(); ++row) {
        Json cells = Json::array();
        for (int column = 0; column < table.columnCount(); ++column)
            cells.push_back(table.cell(column, row));
        rows.push_back(std::move(cells));
    }
    return rows;
}

bool loadConditionsFile(const QString& path, optimum::Conditions& conditions, QString& problem)
{
    const std::string error =
        optimum::loadConditionsFile(QFile::encodeName(path).toStdString(), conditions);
    if (error.empty())
        return true;
    problem = QString::fromStdString(error) + u'.';
    return false;
}

QString conditionsProblem(const QString& dataFile, const optimum::Conditions& conditions)
{
    Workbook workbook;
    try {
        workbook.load(dataFile);
    } catch (const std::exception&) {
        return {};
    }
    const std::string error = optimum::checkConditions(conditions, workbook.stationCount());
    return error.empty() ? QString()
                         : QStringLiteral("Файл условий: %1.").arg(QString::fromStdString(error));
}

bool parseVariantCount(const QString& text, int& count, QString& problem)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > optimum::kMaxVariants) {
        problem = QStringLiteral("Неверное число вариантов: \"%1\" (допустимо от 1 до %2).")
                      .arg(text)
                      .arg(optimum::kMaxVariants);
        return false;
    }
    count = value;
    return true;
}

// Each 6-byte real as its shortest decimal text.
Json indicatorsOf(const ResultTables& tables, int stationCount)
{
    Json rows = Json::array();
    for (int station = 1; station <= stationCount - 1; ++station) {
        Json row = Json::array();
        for (int column = 1; column <= 6; ++column)
            row.push_back(realJson(tables.indicator(column, station)));
        rows.push_back(std::move(row));
    }
    return rows;
}

Json totalsOf(const ResultTables& tables)
{
    Json totals = Json::array();
    for (int element = 2; element <= 6; ++element)
        totals.push_back(realJson(tables.total(element)));
    return totals;
}

Json trainsOf(const std::vector<FixedTrain>& trains)
{
    Json list = Json::array();
    for (const FixedTrain& train : trains) {
        list.push_back(
            {{"origin", train.origin}, {"destination", train.destination}, {"cars", train.cars}});
    }
    return list;
}

Json variantsJson(const optimum::Solution& solution)
{
    Json variants = Json::array();
    for (const optimum::Variant& variant : solution.variants) {
        Json trains = Json::array();
        for (const FixedTrain& t : variant.trains)
            trains.push_back(
                {{"origin", t.origin}, {"destination", t.destination}, {"cars", t.cars}});
        variants.push_back({{"cost", realJson(variant.cost)},
                            {"trains", std::move(trains)},
                            {"plan", rowsOf(variant.plan)}});
    }
    return variants;
}

} // namespace zeltrac::cli
