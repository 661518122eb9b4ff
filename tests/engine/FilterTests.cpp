// Record filters: the expression evaluator, filter procedures, the cursor's filter list and
// malformed expression buffers.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "engine/BseErrs.h"
#include "engine/BseFilt.h"
#include "engine/BseTable.h"
#include "engine/ExpressionBuilder.h"
#include "engine/KeyedTestTable.h"

namespace vader::test {
namespace {

namespace fe = filterexpr;

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.Put(Person{.id = 1, .name = "SMITH", .city = "OSLO", .flag = true, .small = -1});
    table.Put(Person{.id = 2, .name = "JONES", .city = "", .small = 2});
    table.Put(Person{.id = 3, .name = "SMITHERS", .city = "ROME", .flag = true, .small = 7});
    table.Put(Person{.id = 4, .name = "YOUNG", .city = "", .small = 2});
  }

  // Ids the cursor shows through a filter with `expression`.
  std::vector<int32_t> Visible(const std::vector<uint8_t>& expression, TFilterProc proc = nullptr) {
    TFilterListItem* filter = nullptr;
    table.AddFilter(0, 0, false, expression.empty() ? nullptr : expression.data(), proc, filter);
    table.ActivateFilter(filter);
    const std::vector<int32_t> ids = Walk(table);
    table.DropFilter(filter);
    return ids;
  }

  KeyedTestTable table;
  ExpressionBuilder e;
};

using Ids = std::vector<int32_t>;

// ---- comparisons ----

TEST_F(FilterTest, FieldComparedWithAStringConstant) {
  EXPECT_EQ(Visible(e.Build(e.FieldIs(fe::canEQ, "NAME", "SMITH"))), Ids({1}));
  ExpressionBuilder g;
  EXPECT_EQ(Visible(g.Build(g.FieldIs(fe::canGT, "name", "SMITH"))), Ids({3, 4}));
}

TEST_F(FilterTest, UnknownFieldNameIsComparedAsItsOwnText) {
  EXPECT_EQ(Visible(e.Build(e.FieldIs(fe::canEQ, "NAMX", "SMITH"))), Ids{});
  ExpressionBuilder g;
  EXPECT_EQ(Visible(g.Build(g.FieldIs(fe::canEQ, "\"NA\"MX\"", "NAMX"))), Ids({1, 2, 3, 4}));
}

TEST_F(FilterTest, RelationalOperatorsOnIntegers) {
  const auto visible = [&](uint32_t op, int32_t value) {
    ExpressionBuilder b;
    return Visible(b.Build(b.Binary(op, b.Field("ID"), b.Int32(value))));
  };
  EXPECT_EQ(visible(fe::canNE, 2), Ids({1, 3, 4}));
  EXPECT_EQ(visible(fe::canLT, 2), Ids({1}));
  EXPECT_EQ(visible(fe::canLE, 2), Ids({1, 2}));
  EXPECT_EQ(visible(fe::canGE, 3), Ids({3, 4}));
  EXPECT_EQ(visible(12345, 3), Ids{});  // unknown operator
}

TEST_F(FilterTest, MixedTypesAreComparedAsText) {
  // A 16-bit integer holding -1 reads as 65535.
  EXPECT_EQ(Visible(e.Build(e.FieldIs(fe::canEQ, "SMALL", "65535"))), Ids({1}));
  ExpressionBuilder minus;
  EXPECT_EQ(Visible(minus.Build(minus.FieldIs(fe::canEQ, "SMALL", "-1"))), Ids{});
  ExpressionBuilder yes;
  EXPECT_EQ(Visible(yes.Build(yes.FieldIs(fe::canEQ, "FLAG", "1"))), Ids({1, 3}));
  ExpressionBuilder no;
  EXPECT_EQ(Visible(no.Build(no.FieldIs(fe::canEQ, "FLAG", "0"))), Ids({2, 4}));
  ExpressionBuilder id;
  EXPECT_EQ(Visible(id.Build(id.FieldIs(fe::canEQ, "ID", "0000000003"))), Ids({3}));
}

TEST_F(FilterTest, PartialCaseInsensitiveCompare) {
  EXPECT_EQ(Visible(e.Build(e.Compare(fe::canEQ, e.Field("NAME"), e.Text("smi"), true, 3))),
            Ids({1, 3}));
  ExpressionBuilder exact;
  EXPECT_EQ(Visible(exact.Build(
                exact.Compare(fe::canEQ, exact.Field("NAME"), exact.Text("smi"), false, 3))),
            Ids{});
}

template <class T>
std::string TextOf(uint16_t type, T data) {
  FilterValue value{};
  value.DataType = type;
  value.DataLength = sizeof data;
  std::memcpy(value.Data, &data, sizeof data);
  return FilterValueText(value);
}

TEST(FilterValues, TextFormsOfDatesTimesAndNumbers) {
  EXPECT_EQ(TextOf(fldDATE, int32_t{730120}), "2000-01-01");
  EXPECT_EQ(TextOf(fldDATE, int32_t{1}), "0001-01-01");
  EXPECT_EQ(TextOf(fldTIME, int32_t{36930500}), "10:15:30.500");
  EXPECT_EQ(TextOf(fldINT32, int32_t{42}), "0000000042");
  EXPECT_EQ(TextOf(fldFLOAT, 1.5), "1.500000");
  EXPECT_EQ(TextOf(fldBYTES, uint16_t{0x4241}), "AB");
  EXPECT_EQ(TextOf(fldBLOB, int32_t{7}), "");
}

// ---- logic ----

TEST_F(FilterTest, OrEvaluatesTheRightSideOnlyWhenTheLeftIsFalse) {
  const uint16_t left = e.Binary(fe::canEQ, e.Field("ID"), e.Int32(1));
  const uint16_t right = e.Binary(fe::canEQ, e.Field("SMALL"), e.Int16(2));
  EXPECT_EQ(Visible(e.Build(e.Binary(fe::canOR, left, right))), Ids({1, 2, 4}));
  EXPECT_EQ(table.fieldReads[kSmall], 3);  // records 2, 3 and 4
}

TEST_F(FilterTest, AndEvaluatesTheRightSideOnlyWhenTheLeftIsTrue) {
  const uint16_t left = e.Binary(fe::canEQ, e.Field("ID"), e.Int32(2));
  const uint16_t right = e.Binary(fe::canEQ, e.Field("SMALL"), e.Int16(2));
  EXPECT_EQ(Visible(e.Build(e.Binary(fe::canAND, left, right))), Ids({2}));
  EXPECT_EQ(table.fieldReads[kSmall], 1);
}

TEST_F(FilterTest, UnaryOperators) {
  EXPECT_EQ(Visible(e.Build(e.Unary(fe::canISBLANK, e.Field("CITY")))), Ids({2, 4}));
  ExpressionBuilder notBlank;
  EXPECT_EQ(Visible(notBlank.Build(notBlank.Unary(fe::canNOTBLANK, notBlank.Field("CITY")))),
            Ids({1, 3}));
  ExpressionBuilder negated;
  EXPECT_EQ(Visible(negated.Build(
                negated.Unary(fe::canNOT, negated.FieldIs(fe::canEQ, "NAME", "SMITH")))),
            Ids({2, 3, 4}));
}

TEST_F(FilterTest, LoneFieldsAndContinueNodes) {
  // A field alone accepts every record whose field can be read.
  EXPECT_EQ(Visible(e.Build(e.Field("CITY"))), Ids({1, 2, 3, 4}));
  ExpressionBuilder yes;
  EXPECT_EQ(Visible(yes.Build(yes.Continue(1))), Ids({1, 2, 3, 4}));
  ExpressionBuilder no;
  EXPECT_EQ(Visible(no.Build(no.Continue(0))), Ids{});
  // As an operand of "or" a continue node counts as false.
  ExpressionBuilder orred;
  EXPECT_EQ(Visible(orred.Build(orred.Binary(fe::canOR, orred.Continue(1),
                                             orred.FieldIs(fe::canEQ, "ID", "0000000004")))),
            Ids({4}));
}

TEST_F(FilterTest, FieldThatCannotBeReadIsFalse) {
  const auto expression = e.Build(e.Unary(fe::canISBLANK, e.Field("CITY")));
  uint8_t record[kKeyedRecordSize] = {};
  EXPECT_TRUE(EvaluateFilterExpression(table, expression.data(), expression.size(), record));
  EXPECT_FALSE(EvaluateFilterExpression(table, expression.data(), expression.size(), nullptr));
}

TEST_F(FilterTest, NegationOfAFalseComparisonIsTrue) {
  const auto expression = e.Build(e.Unary(fe::canNOT, e.FieldIs(fe::canEQ, "ID", "0000000001")));
  auto one = MakeRecord(Person{.id = 1});
  auto two = MakeRecord(Person{.id = 2});
  EXPECT_TRUE(EvaluateFilterExpression(table, expression.data(), expression.size(), two.data()));
  EXPECT_FALSE(EvaluateFilterExpression(table, expression.data(), expression.size(), one.data()));
}

// ---- procedures ----

TEST_F(FilterTest, ProcedureRefusalSkipsTheExpression) {
  const auto expression = e.Build(e.FieldIs(fe::canEQ, "NAME", "SMITH"));
  EXPECT_EQ(Visible(expression, [](uintptr_t, uint8_t*, int32_t) -> int16_t { return 0; }), Ids{});
  EXPECT_EQ(table.fieldReads[kName], 0);
  EXPECT_EQ(Visible(expression, [](uintptr_t, uint8_t*, int32_t) -> int16_t { return 1; }),
            Ids({1}));
}

TEST_F(FilterTest, ProcedureSeesItsClientDataAndTheRecord) {
  static uintptr_t seen = 0;
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0xC0FFEE, 0, false, nullptr,
      [](uintptr_t data, uint8_t* r, int32_t) -> int16_t {
        seen = data;
        return IdOf(r) > 2;
      },
      filter);
  table.ActivateFilter(filter);
  std::vector<uint8_t> record(kKeyedRecordSize);
  table.GetNextRecord(dbiNOLOCK, record.data(), nullptr);
  EXPECT_EQ(IdOf(record.data()), 3);
  EXPECT_EQ(seen, 0xC0FFEEu);
  EXPECT_EQ(filter->CurrentRecord(), record.data());
}

TEST_F(FilterTest, FilterRefusingEverythingEndsTheFirstMove) {
  TFilterListItem* filter = nullptr;
  table.AddFilter(
      0, 0, false, nullptr, [](uintptr_t, uint8_t*, int32_t) -> int16_t { return 0; }, filter);
  table.ActivateFilter(filter);
  std::vector<uint8_t> record(kKeyedRecordSize);
  EXPECT_THROW(table.GetNextRecord(dbiNOLOCK, record.data(), nullptr), EVaderEOFError);
  EXPECT_THROW(table.GetPriorRecord(dbiNOLOCK, record.data(), nullptr), EVaderBOFError);
  EXPECT_EQ(table.State(), TCursorState::Unpositioned);
}

// ---- the filter list ----

TEST_F(FilterTest, FiltersStartInactiveAndFollowActivation) {
  TFilterListItem* first = nullptr;
  TFilterListItem* second = nullptr;
  table.AddFilter(1, 5, true, nullptr, nullptr, first);
  table.AddFilter(2, 6, false, nullptr, nullptr, second);
  EXPECT_FALSE(first->Active());
  EXPECT_FALSE(table.FiltersActive());
  table.ActivateFilter(nullptr);
  EXPECT_TRUE(first->Active() && second->Active());
  table.DeactivateFilter(first);
  EXPECT_TRUE(table.FiltersActive());
  table.DeactivateFilter(second);
  EXPECT_FALSE(table.FiltersActive());
  table.ActivateFilter(second);
  table.DropFilter(second);
  EXPECT_FALSE(table.FiltersActive());
  EXPECT_EQ(table.Filters().Count(), 1);
  table.ActivateFilter(nullptr);
  table.DeactivateFilter(nullptr);
  EXPECT_FALSE(first->Active());
  EXPECT_FALSE(table.FiltersActive());
}

TEST_F(FilterTest, ForeignFilterHandles) {
  KeyedTestTable other;
  TFilterListItem* foreign = nullptr;
  other.AddFilter(0, 0, false, nullptr, nullptr, foreign);
  EXPECT_EQ(ErrorCode([&] { table.DeactivateFilter(foreign); }), DBIERR_NOSUCHFILTER);
  EXPECT_EQ(ErrorCode([&] { table.ActivateFilter(foreign); }), DBIERR_NOSUCHFILTER);
  table.DropFilter(foreign);
  EXPECT_EQ(other.Filters().Count(), 1);
  EXPECT_FALSE(foreign->Active());
}

TEST_F(FilterTest, FilterInfoReportsPositionAndSettings) {
  const auto expression = e.Build(e.Continue(1));
  TFilterListItem* first = nullptr;
  TFilterListItem* second = nullptr;
  FilterInfo info{};
  table.GetFilterInfo(nullptr, info);
  EXPECT_EQ(info.Filter, nullptr);
  table.AddFilter(11, 3, true, nullptr, nullptr, first);
  table.AddFilter(22, 4, false, expression.data(), nullptr, second);
  table.ActivateFilter(second);
  table.GetFilterInfo(nullptr, info);
  EXPECT_EQ(info.Filter, first);
  EXPECT_EQ(info.FilterId, 0);
  EXPECT_EQ(info.CanAbort, kTrue16);
  table.GetFilterInfo(second, info);
  EXPECT_EQ(info.FilterId, 1);
  EXPECT_EQ(info.ClientData, 22u);
  EXPECT_EQ(info.Priority, 4);
  EXPECT_EQ(info.Active, kTrue16);
  ASSERT_NE(info.Expression, nullptr);
  EXPECT_NE(info.Expression, expression.data());  // the filter's own copy
  EXPECT_EQ(std::memcmp(info.Expression, expression.data(), expression.size()), 0);
  table.DropFilter(nullptr);
  EXPECT_EQ(table.Filters().Count(), 0);
}

// ---- malformed expressions ----

class MalformedExpressionTest : public FilterTest {
 protected:
  bool Accepts(const std::vector<uint8_t>& buffer) {
    TFilterListItem filter(&table, 0, 0, false, buffer.data(), nullptr);
    filter.SetActive(true);
    std::vector<uint8_t> record = MakeRecord(Person{.id = 1, .name = "SMITH"});
    return filter.TestRecord(record.data());
  }
  fe::Header& HeaderOf(std::vector<uint8_t>& buffer) {
    return *reinterpret_cast<fe::Header*>(buffer.data());
  }
  template <class Node>
  Node& NodeAt(std::vector<uint8_t>& buffer, size_t offset) {
    return *reinterpret_cast<Node*>(buffer.data() + HeaderOf(buffer).iNodeStart + offset);
  }
};

TEST_F(MalformedExpressionTest, WellFormedBaselineAccepts) {
  EXPECT_TRUE(Accepts(e.Build(e.FieldIs(fe::canEQ, "NAME", "SMITH"))));
}

TEST_F(MalformedExpressionTest, BuffersTooShortForTheirHeaderReject) {
  std::vector<uint8_t> buffer = e.Build(e.Continue(1));
  HeaderOf(buffer).iTotalSize = 4;
  EXPECT_FALSE(Accepts(buffer));
}

TEST_F(MalformedExpressionTest, NodesBeyondTheTotalSizeReject) {
  std::vector<uint8_t> buffer = e.Build(e.Continue(1));
  HeaderOf(buffer).iNodeStart = static_cast<uint16_t>(buffer.size() - 4);
  EXPECT_FALSE(Accepts(buffer));

  // The declared total size is what counts, even when the caller's buffer is longer.
  ExpressionBuilder b;
  std::vector<uint8_t> longer = b.Build(b.FieldIs(fe::canEQ, "NAME", "SMITH"));
  HeaderOf(longer).iTotalSize = static_cast<uint16_t>(HeaderOf(longer).iLiteralStart + 2);
  EXPECT_FALSE(Accepts(longer));
}

TEST_F(MalformedExpressionTest, OperandsAndLiteralsOutsideTheBufferReject) {
  std::vector<uint8_t> buffer = e.Build(e.FieldIs(fe::canEQ, "NAME", "SMITH"));
  NodeAt<fe::BinaryNode>(buffer, 0).iOperand2 = 0xFFF0;
  EXPECT_FALSE(Accepts(buffer));

  ExpressionBuilder b;
  std::vector<uint8_t> literal = b.Build(b.Binary(fe::canEQ, b.Field("NAME"), b.Text("SMITH")));
  const uint16_t constant = NodeAt<fe::BinaryNode>(literal, 0).iOperand2;
  NodeAt<fe::ConstantNode>(literal, constant).iSize = 0x7000;
  EXPECT_FALSE(Accepts(literal));
}

TEST_F(MalformedExpressionTest, UnterminatedNamesReject) {
  std::vector<uint8_t> buffer = e.Build(e.Unary(fe::canNOTBLANK, e.Field("NAME")));
  buffer.back() = 'X';  // the name's NUL is the last byte of the buffer
  EXPECT_FALSE(Accepts(buffer));
}

TEST_F(MalformedExpressionTest, CyclicExpressionsReject) {
  std::vector<uint8_t> buffer = e.Build(e.Unary(fe::canNOT, e.Continue(1)));
  NodeAt<fe::UnaryNode>(buffer, 0).iOperand1 = 0;  // the root is its own operand
  EXPECT_FALSE(Accepts(buffer));
}

TEST_F(MalformedExpressionTest, OversizedConstantsAreCutToTheWorkingValue) {
  std::vector<uint8_t> big(600, 'A');
  big.back() = 0;
  const uint16_t constant = e.Constant(fldZSTRING, big.data(), static_cast<uint16_t>(big.size()));
  EXPECT_FALSE(Accepts(e.Build(e.Binary(fe::canEQ, e.Field("NAME"), constant))));
  ExpressionBuilder b;
  const uint16_t bytes = b.Constant(fldBYTES, big.data(), static_cast<uint16_t>(big.size()));
  EXPECT_TRUE(Accepts(b.Build(b.Binary(fe::canEQ, bytes, bytes))));
}

}  // namespace
}  // namespace vader::test
