#pragma once

#include "model.h"
#include "seatingplan.h"

// The baselines a teacher deals by hand, which the balanced generate is judged against.
namespace Velmora::Bench {

// Rank the pupils by score and deal them to the groups 1..n, then n..1, and so on, each group
// taking as many as its seats, fixed persons staying on their seats; the pupils without a score
// are dealt last.
SeatingPlan snakeDraft(const ClassState &state);

// The same draft dealt by a teacher who keeps what `plan` keeps: requirement members and fixed
// persons stay on their seats, and each group keeps its count of every kind (boy or girl, leader,
// boarder, score band), so every tier above the gap comes out as in `plan`. The others, ranked by
// score, are dealt 1..n, n..1, each to the next group with a seat left for their kind.
SeatingPlan keptTalliesDraft(const ClassState &state, const SeatingPlan &plan);

} // namespace Velmora::Bench
