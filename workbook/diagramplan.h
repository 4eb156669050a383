#pragma once

#include <cstdint>
#include <vector>

#include "calc/plan.h"
#include "calc/texttable.h"

// The plan as the diagram draws it: the stations of the line and every train
// with its kind. Standard C++ only.
namespace zeltrac::diagram {

enum class TrainKind
{
    Through, // fixed by the search
    Local,   // added by the plan completion
    Exact,   // a train of the exact optimum's plan
};

struct DiagramTrain
{
    int origin = 0;      // station 1..N
    int destination = 0; // station 1..N, not the origin
    std::int64_t cars = 0;
    TrainKind kind = TrainKind::Local;

    friend bool operator==(const DiagramTrain&, const DiagramTrain&) = default;
};

struct DiagramPlan
{
    int stationCount = 0;
    // reforming[s - 1]: station s re-forms cars (its Tек is greater than 0).
    std::vector<bool> reforming;
    std::vector<DiagramTrain> trains;
};

// The stations that re-form cars: a Tек (row 1 of the station parameters)
// converted with the calculation's own conversion and the input's decimal
// separator; a Tек that does not convert counts as not re-forming.
std::vector<bool> reformingStations(const CalcInput& input);

// The analytical plan: the plan grid's cell (column c, row r) holds the cars
// of the trains formed at station c+1 for station N-r. Of each cell, the cars
// of the fixed through trains of that origin and destination are drawn as a
// through train and the rest as a local train. Cells that are empty, zero or
// not whole numbers hold no train. Through trains whose cars exceed the cell
// keep their own count and no local train is drawn for the cell.
DiagramPlan planFromCalculation(const CalcInput& input, const TextTable& plan,
                                const std::vector<FixedTrain>& fixed);

// A plan given as a plain list of trains (the exact optimum's), each of the
// given kind. Trains with no cars, with a station outside 1..N or with equal
// ends are left out; trains of the same origin and destination are merged.
DiagramPlan planFromTrains(int stationCount, std::vector<bool> reforming,
                           const std::vector<FixedTrain>& trains,
                           TrainKind kind = TrainKind::Exact);

// Sum of the cars of all trains.
std::int64_t totalCars(const DiagramPlan& plan);

} // namespace zeltrac::diagram
