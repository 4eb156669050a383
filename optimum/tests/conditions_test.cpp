#include <gtest/gtest.h>

#include "optimum/conditions.h"

using namespace zeltrac::optimum;

TEST(Conditions, ReadTheDocumentedExample)
{
    Conditions c;
    ASSERT_EQ(readConditions(R"({"forced": [[1, 8]], "forbidden": [[2, 5]],
                                 "max_destinations": {"3": 2}, "max_reprocessed": {"4": 500}})",
                             c),
              "");
    EXPECT_EQ(c.forced, (std::vector<TrainPair>{{1, 8}}));
    EXPECT_EQ(c.forbidden, (std::vector<TrainPair>{{2, 5}}));
    EXPECT_EQ(c.maxDestinations, (std::map<int, int>{{3, 2}}));
    EXPECT_EQ(c.maxReprocessed, (std::map<int, std::int64_t>{{4, 500}}));
    EXPECT_EQ(checkConditions(c, 8), "");
    Conditions none;
    ASSERT_EQ(readConditions("{}", none), "");
    EXPECT_TRUE(none.empty());
}

TEST(Conditions, SavedConditionsReopenEqualAndWriteTheSameBytes)
{
    Conditions c;
    c.forced = {{1, 8}, {3, 21}};
    c.forbidden = {{2, 5}};
    c.maxDestinations = {{3, 2}, {10, 0}};
    c.maxReprocessed = {{4, 500}, {12, 4000000000}};
    const std::string text = writeConditions(c);
    Conditions again;
    ASSERT_EQ(readConditions(text, again), "");
    EXPECT_EQ(again, c);
    EXPECT_EQ(writeConditions(again), text);
    // Stations in numeric order, keys in a fixed order.
    EXPECT_LT(text.find("\"3\""), text.find("\"10\""));
    EXPECT_LT(text.find("forced"), text.find("max_reprocessed"));
    EXPECT_EQ(writeConditions(Conditions{}), "{}\n");
}

TEST(Conditions, MalformedFilesGetAReasonAndLeaveNothingRead)
{
    const std::pair<const char*, const char*> cases[] = {
        {"{\"forced\": [[1, 8]", "не является правильным JSON"},
        {"[[1, 8]]", "должен содержать объект"},
        {R"({"forced": [[1, 8]], "forbiden": []})", "Неизвестное условие \"forbiden\""},
        {R"({"forced": [1, 8]})", "пар"},
        {R"({"forced": [[1, 8, 9]]})", "пар"},
        {R"({"forbidden": [["1", 8]]})", "ожидается целое число"},
        {R"({"forbidden": [[1.5, 8]]})", "ожидается целое число"},
        {R"({"forced": {"1": 8}})", "ожидается список"},
        {R"({"max_destinations": [2]})", "ожидается объект"},
        {R"({"max_destinations": {"x": 2}})", "\"x\" не номер станции"},
        {R"({"max_destinations": {"3": -1}})", "вне допустимых пределов"},
        {R"({"max_reprocessed": {"4": 10.5}})", "ожидается целое число"},
        {R"({"max_reprocessed": {"4": 18446744073709551615}})", "вне допустимых пределов"},
    };
    for (const auto& [text, reason] : cases) {
        Conditions c;
        c.forced = {{1, 2}};
        const std::string error = readConditions(text, c);
        EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
        EXPECT_TRUE(c.empty()) << text;
    }
}

TEST(Conditions, StationsOutsideTheLineAndBackwardTrainsAreNamed)
{
    auto check = [](const char* text, int n) {
        Conditions c;
        EXPECT_EQ(readConditions(text, c), "");
        return checkConditions(c, n);
    };
    EXPECT_EQ(check(R"({"forced": [[1, 9]]})", 8),
              "Обязательный поезд 1-9: станция вне линии (станции линии: 1..8)");
    EXPECT_EQ(check(R"({"forbidden": [[0, 3]]})", 8),
              "Запрещенный поезд 0-3: станция вне линии (станции линии: 1..8)");
    EXPECT_EQ(check(R"({"forbidden": [[5, 5]]})", 8),
              "Запрещенный поезд 5-5: станция отправления должна быть раньше станции назначения");
    EXPECT_EQ(check(R"({"forced": [[6, 2]]})", 8),
              "Обязательный поезд 6-2: станция отправления должна быть раньше станции назначения");
    EXPECT_EQ(check(R"({"max_destinations": {"0": 1}})", 8),
              "Предел назначений: станция 0 вне линии (станции линии: 1..8)");
    EXPECT_EQ(check(R"({"max_reprocessed": {"9": 1}})", 8),
              "Предел переработки: станция 9 вне линии (станции линии: 1..8)");
    EXPECT_EQ(check(R"({"forced": [[1, 8]], "max_reprocessed": {"8": 1}})", 8), "");
}
