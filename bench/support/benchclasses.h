#pragma once

#include "model.h"

#include <random>

// Classes the benchmarks draw, and the clock they judge by.
namespace Velmora::Bench {

int between(std::mt19937 &random, int low, int high);

// 30-60 pupils in 6-10 groups of unequal sizes (groups 1..n enabled); fewer, as many or more
// leaders than groups; 0-15 % boarders; 0-3 fixed seats; 2-8 requirements of two or three, some
// sharing a person, some holding a leader.
ClassState randomClass(std::mt19937 &random);

// Scores for a class and "按成绩均衡分组" ticked: 30 to 100 points, most near the middle; in about
// half the classes in half points, which makes ties, and in about a quarter some pupils without
// a score. `random` is the class's own, so that drawing scores changes no other class.
void drawScores(ClassState &state, std::mt19937 &random);

// A large class: `people` persons in ten groups, `requirements` pairs and triples over them.
ClassState largeClass(int people, int requirements, std::mt19937 &random);

// Processor time of the calling thread: on a machine shared with other work the wall clock counts
// the waits.
double threadMilliseconds();

} // namespace Velmora::Bench
