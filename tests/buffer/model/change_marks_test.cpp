#include "quenvar/buffer/change_marks.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <set>

namespace quenvar {
namespace {

std::set<std::size_t> Marked(const TChangeMarks& m) {
  std::set<std::size_t> out;
  for (std::size_t i = 0; i < m.Size(); ++i)
    if (m.Test(i)) out.insert(i);
  return out;
}

struct TMarksCase {
  const char* FName;
  std::size_t FSize;
  std::set<std::size_t> FBefore;
  std::function<void(TChangeMarks&)> FOp;
  std::size_t FSizeAfter;
  std::set<std::size_t> FAfter;
};

TEST(ChangeMarks, ShiftsAndTruncatesAcrossWordBoundaries) {
  const TMarksCase cases[] = {
      {"insert inside first word",
       10,
       {1, 5, 9},
       [](TChangeMarks& m) { m.Insert(5, 2); },
       12,
       {1, 7, 11}},
      {"insert at word edge",
       130,
       {0, 63, 64, 127, 129},
       [](TChangeMarks& m) { m.Insert(64, 3); },
       133,
       {0, 63, 67, 130, 132}},
      {"insert a whole word",
       70,
       {2, 65, 69},
       [](TChangeMarks& m) { m.Insert(1, 64); },
       134,
       {66, 129, 133}},
      {"insert at end", 64, {63}, [](TChangeMarks& m) { m.Insert(64, 5); }, 69, {63}},
      {"insert at start of big",
       300,
       {0, 100, 299},
       [](TChangeMarks& m) { m.Insert(0, 129); },
       429,
       {129, 229, 428}},
      {"erase middle", 12, {1, 5, 6, 11}, [](TChangeMarks& m) { m.Erase(5, 2); }, 10, {1, 9}},
      {"erase across words",
       200,
       {10, 60, 70, 130, 199},
       [](TChangeMarks& m) { m.Erase(50, 80); },
       120,
       {10, 50, 119}},
      {"erase clipped at end", 20, {3, 18}, [](TChangeMarks& m) { m.Erase(15, 100); }, 15, {3}},
      {"erase past end is nothing", 5, {4}, [](TChangeMarks& m) { m.Erase(5, 1); }, 5, {4}},
      {"clear from", 140, {1, 64, 65, 139}, [](TChangeMarks& m) { m.ClearFrom(64); }, 140, {1}},
      {"shrink drops tail", 100, {10, 70, 99}, [](TChangeMarks& m) { m.Resize(70); }, 70, {10}},
      {"regrow gives clean bits",
       100,
       {10, 70, 99},
       [](TChangeMarks& m) {
         m.Resize(70);
         m.Resize(100);
       },
       100,
       {10}},
      {"regrow across words gives clean words",
       200,
       {10, 150, 199},
       [](TChangeMarks& m) {
         m.Resize(64);
         m.Resize(200);
       },
       200,
       {10}},
      {"set and reset out of range ignored",
       8,
       {2},
       [](TChangeMarks& m) {
         m.Set(8);
         m.Reset(2);
         m.Set(7);
       },
       8,
       {7}},
  };
  for (const TMarksCase& c : cases) {
    SCOPED_TRACE(c.FName);
    TChangeMarks m;
    m.Resize(c.FSize);
    for (std::size_t p : c.FBefore) m.Set(p);
    c.FOp(m);
    EXPECT_EQ(m.Size(), c.FSizeAfter);
    EXPECT_EQ(Marked(m), c.FAfter);
    EXPECT_EQ(m.Any(), !c.FAfter.empty());
    EXPECT_FALSE(m.Test(c.FSizeAfter));
  }
}

TEST(ChangeMarks, CostOneBitPerByte) {
  TChangeMarks m;
  m.Resize(64u * 1024 * 1024);
  EXPECT_EQ(m.MemoryBytes(), 8u * 1024 * 1024);
}

}  // namespace
}  // namespace quenvar
