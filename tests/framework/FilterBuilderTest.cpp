// Filter texts compiled to expression buffers, checked node by node.

#include <gtest/gtest.h>

#include <cstring>

#include "framework/DBFilter.h"
#include "framework/DataSetFixture.h"
#include "framework/FilterExpression.h"

namespace vader::testing {
namespace {

namespace fx = filterexpr;

// Reads nodes and literals of a built buffer, checking every address against its size.
class Expression {
 public:
  explicit Expression(std::vector<std::uint8_t> bytes) : b_(std::move(bytes)) {
    EXPECT_GE(b_.size(), sizeof(fx::Header));
    std::memcpy(&h_, b_.data(), sizeof h_);
    EXPECT_EQ(h_.iTotalSize, b_.size());
    EXPECT_EQ(h_.iNodeStart, sizeof(fx::Header));
  }
  const fx::Header& Header() const { return h_; }
  template <typename N>
  N Node(std::uint16_t offset) const {
    N node{};
    const std::size_t at = h_.iNodeStart + offset;
    EXPECT_LE(at + sizeof node, h_.iLiteralStart) << "node beyond the node area";
    if (at + sizeof node <= b_.size()) std::memcpy(&node, b_.data() + at, sizeof node);
    return node;
  }
  std::uint32_t ClassAt(std::uint16_t offset) const {
    return Node<fx::NodeHeader>(offset).nodeClass;
  }
  std::string Name(const fx::FieldNode& f) const {
    return reinterpret_cast<const char*>(b_.data() + h_.iLiteralStart + f.iNameOffset);
  }
  std::vector<std::uint8_t> Value(const fx::ConstantNode& c) const {
    const auto* at = b_.data() + h_.iLiteralStart + c.iOffset;
    EXPECT_LE(h_.iLiteralStart + c.iOffset + c.iSize, b_.size());
    return {at, at + c.iSize};
  }

 private:
  std::vector<std::uint8_t> b_;
  fx::Header h_{};
};

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
template <typename T>
std::vector<std::uint8_t> Bytes(T value) {
  std::vector<std::uint8_t> out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

class FilterBuilderTest : public PeopleTest {
 protected:
  void SetUp() override {
    PeopleTest::SetUp();
    people.FieldDefs().Add("BORN", TFieldType::ftDate);
    people.FieldDefs().Add("ACTIVE", TFieldType::ftBoolean);
    people.FieldDefs().Add("SCORE", TFieldType::ftFloat);
    people.FieldDefs().Add("NOTE", TFieldType::ftMemo);
    people.FieldDefs().Add("PIC", TFieldType::ftGraphic);
    people.Open();
  }
  Expression Build(const std::string& text, TFilterOptions options = 0) {
    return Expression(BuildFilterExpression(text, options, &people));
  }
  std::string Error(const std::string& text) {
    try {
      BuildFilterExpression(text, 0, &people);
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    return "no error";
  }
};

TEST_F(FilterBuilderTest, TheExampleFromTheFilterPropertyCompilesNodeByNode) {
  const Expression e = Build("NAME = 'Smith' and (AGE > 30 or CITY <> 'Paris')");
  EXPECT_EQ(e.Header().iVer, 2);
  EXPECT_EQ(e.Header().iNodes, 11);
  const auto root = e.Node<fx::BinaryNode>(0);
  EXPECT_EQ(root.node.nodeClass, fx::nodeBINARY);
  EXPECT_EQ(root.node.canOp, fx::canAND);

  const auto name = e.Node<fx::BinaryNode>(root.iOperand1);
  EXPECT_EQ(name.node.canOp, fx::canEQ);
  const auto nameField = e.Node<fx::FieldNode>(name.iOperand1);
  EXPECT_EQ(nameField.node.nodeClass, fx::nodeFIELD);
  EXPECT_EQ(nameField.iFieldNum, 2);
  EXPECT_EQ(e.Name(nameField), "NAME");
  const auto smith = e.Node<fx::ConstantNode>(name.iOperand2);
  EXPECT_EQ(smith.node.nodeClass, fx::nodeCONST);
  EXPECT_EQ(smith.iType, 1);
  EXPECT_EQ(e.Value(smith), Bytes(std::string("Smith\0", 6)));

  const auto either = e.Node<fx::BinaryNode>(root.iOperand2);
  EXPECT_EQ(either.node.canOp, fx::canOR);
  const auto age = e.Node<fx::BinaryNode>(either.iOperand1);
  EXPECT_EQ(age.node.canOp, fx::canGT);
  EXPECT_EQ(e.Node<fx::FieldNode>(age.iOperand1).iFieldNum, 3);
  const auto thirty = e.Node<fx::ConstantNode>(age.iOperand2);
  EXPECT_EQ(thirty.iType, 5);  // the smallint field's type
  EXPECT_EQ(e.Value(thirty), Bytes(std::int16_t{30}));
  const auto city = e.Node<fx::BinaryNode>(either.iOperand2);
  EXPECT_EQ(city.node.canOp, fx::canNE);
  EXPECT_EQ(e.Name(e.Node<fx::FieldNode>(city.iOperand1)), "CITY");
}

TEST_F(FilterBuilderTest, PrecedenceIsNotThenAndThenOr) {
  const Expression e = Build("not AGE = 1 or ID = 2 and ID = 3");
  const auto root = e.Node<fx::BinaryNode>(0);
  EXPECT_EQ(root.node.canOp, fx::canOR);
  const auto negation = e.Node<fx::UnaryNode>(root.iOperand1);
  EXPECT_EQ(negation.node.nodeClass, fx::nodeUNARY);
  EXPECT_EQ(negation.node.canOp, fx::canNOT);
  EXPECT_EQ(e.Node<fx::BinaryNode>(negation.iOperand1).node.canOp, fx::canEQ);
  EXPECT_EQ(e.Node<fx::BinaryNode>(root.iOperand2).node.canOp, fx::canAND);
}

TEST_F(FilterBuilderTest, NullTestsBecomeBlankTests) {
  for (const char* text : {"NOTE is null", "NOTE = NULL", "null = NOTE"}) {
    const Expression e = Build(text);
    const auto root = e.Node<fx::UnaryNode>(0);
    EXPECT_EQ(root.node.canOp, fx::canISBLANK) << text;
    EXPECT_EQ(e.Name(e.Node<fx::FieldNode>(root.iOperand1)), "NOTE");
  }
  for (const char* text : {"NOTE IS NOT NULL", "NOTE <> null"})
    EXPECT_EQ(Build(text).Node<fx::UnaryNode>(0).node.canOp, fx::canNOTBLANK) << text;
  EXPECT_EQ(Error("AGE > null"),
            "Error in filter expression at position 5: NULL can only be compared with = or <>");
}

TEST_F(FilterBuilderTest, TrailingStarAndCaseOptionMakeCompareNodes) {
  Expression e = Build("NAME = 'Smi*'");
  auto partial = e.Node<fx::CompareNode>(0);
  EXPECT_EQ(partial.node.nodeClass, fx::nodeCOMPARE);
  EXPECT_EQ(partial.bCaseInsensitive, 0);
  EXPECT_EQ(partial.iPartialLen, 3);
  EXPECT_EQ(e.Value(e.Node<fx::ConstantNode>(partial.iOperand2)), Bytes(std::string("Smi\0", 4)));

  e = Build("NAME = 'smi*'", foCaseInsensitive);
  EXPECT_EQ(e.Node<fx::CompareNode>(0).bCaseInsensitive, 1);

  e = Build("NAME = 'Smi*'", foNoPartialCompare);  // the star is a character then
  auto whole = e.Node<fx::BinaryNode>(0);
  EXPECT_EQ(whole.node.nodeClass, fx::nodeBINARY);
  EXPECT_EQ(e.Value(e.Node<fx::ConstantNode>(whole.iOperand2)), Bytes(std::string("Smi*\0", 5)));

  e = Build("NAME = 'Smith'", foCaseInsensitive);
  EXPECT_EQ(e.Node<fx::CompareNode>(0).iPartialLen, 0);
  EXPECT_EQ(Build("AGE = 3", foCaseInsensitive).ClassAt(0), fx::nodeBINARY);  // not text
  EXPECT_EQ(Build("NAME > 'S*'").ClassAt(0), fx::nodeBINARY);  // partial only for = and <>
}

TEST_F(FilterBuilderTest, ConstantsTakeTheTypeOfTheirField) {
  Expression e = Build("BORN >= '2000-01-01'");
  auto born = e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(0).iOperand2);
  EXPECT_EQ(born.iType, 2);
  EXPECT_EQ(e.Value(born), Bytes(std::int32_t{730120}));
  e = Build("ACTIVE = true");
  auto active = e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(0).iOperand2);
  EXPECT_EQ(active.iType, 4);
  EXPECT_EQ(e.Value(active), Bytes(std::int16_t{-1}));
  e = Build("SCORE < -1.5e1");
  auto score = e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(0).iOperand2);
  EXPECT_EQ(score.iType, 7);
  EXPECT_EQ(e.Value(score), Bytes(-15.0));
  e = Build("1000 < ID");  // the constant may come first
  auto id = e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(0).iOperand1);
  EXPECT_EQ(id.iType, 6);
  EXPECT_EQ(e.Value(id), Bytes(std::int32_t{1000}));
  e = Build("\"CITY\" = [NAME]");  // quoted and bracketed names, field against field
  const auto both = e.Node<fx::BinaryNode>(0);
  EXPECT_EQ(e.Name(e.Node<fx::FieldNode>(both.iOperand1)), "CITY");
  EXPECT_EQ(e.Name(e.Node<fx::FieldNode>(both.iOperand2)), "NAME");
  e = Build("NAME = 'O''Brien'");
  EXPECT_EQ(e.Value(e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(0).iOperand2)),
            Bytes(std::string("O'Brien\0", 8)));
}

TEST_F(FilterBuilderTest, ValuesThatDoNotFitTheirFieldAreRefused) {
  EXPECT_EQ(
      Error("AGE = 40000"),
      "Error in filter expression at position 7: '40000' is not a valid value for field 'AGE'");
  EXPECT_NE(Error("AGE = 1.5").find("not a valid value"), std::string::npos);
  EXPECT_NE(Error("BORN = '2001-02-30'").find("not a valid value"), std::string::npos);
  EXPECT_NE(Error("ACTIVE = 'perhaps'").find("not a valid value"), std::string::npos);
  EXPECT_NE(Error("SCORE = 'abc'").find("not a valid value"), std::string::npos);
  EXPECT_EQ(Error("PIC = 'x'"),
            "Error in filter expression at position 1: field 'PIC' cannot be compared");
}

TEST_F(FilterBuilderTest, SyntaxErrorsPointAtTheProblem) {
  EXPECT_EQ(Error("NAME = 'Smith' and (AGE > 30"),
            "Error in filter expression at position 29: ')' expected instead of 'end of text'");
  EXPECT_EQ(Error("NAME = 'Smith"), "Error in filter expression at position 8: unterminated text");
  EXPECT_EQ(Error("NAMES = 'x'"),
            "Error in filter expression at position 1: Field 'NAMES' not found");
  EXPECT_EQ(Error("AGE > 3 3"), "Error in filter expression at position 9: unexpected '3'");
  EXPECT_EQ(Error("AGE # 3"), "Error in filter expression at position 5: unexpected character '#'");
  EXPECT_EQ(Error(""), "Error in filter expression at position 1: expression expected");
  EXPECT_EQ(Error("and = 1"),
            "Error in filter expression at position 1: operand expected instead of 'and'");
  EXPECT_EQ(Error("AGE = -"), "Error in filter expression at position 7: unexpected character '-'");
  EXPECT_EQ(Error("NAME is 'x'"),
            "Error in filter expression at position 9: NULL expected instead of 'x'");
}

TEST_F(FilterBuilderTest, WithoutADataSetNamesStayUnresolvedAndConstantsKeepTheirOwnType) {
  const Expression e(BuildFilterExpression("WHO = 'x*' or N = 7", 0, nullptr));
  const auto root = e.Node<fx::BinaryNode>(0);
  const auto who = e.Node<fx::CompareNode>(root.iOperand1);
  EXPECT_EQ(who.iPartialLen, 1);
  EXPECT_EQ(e.Node<fx::FieldNode>(who.iOperand1).iFieldNum, 0);
  const auto seven = e.Node<fx::ConstantNode>(e.Node<fx::BinaryNode>(root.iOperand2).iOperand2);
  EXPECT_EQ(seven.iType, 6);
  EXPECT_EQ(e.Value(seven), Bytes(std::int32_t{7}));
}

TEST_F(FilterBuilderTest, ABufferBeyondSixteenBitsIsRefused) {
  std::string chain = "NAME = 'a'";
  for (int i = 0; i < 3000; ++i) chain += " or NAME = 'a'";
  for (const std::string& text : {chain}) {
    try {
      BuildFilterExpression(text, 0, &people);
      FAIL();
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "Filter expression too long");
    }
  }
  std::string nots;
  for (int i = 0; i < 200000; ++i) nots += "not ";
  EXPECT_EQ(Error(std::string(200000, '(') + "AGE = 1" + std::string(200000, ')')),
            "Error in filter expression at position 129: expression nested too deeply");
  EXPECT_EQ(Error(nots + "AGE = 1"),
            "Error in filter expression at position 513: expression nested too deeply");
  EXPECT_EQ(Build(std::string(128, '(') + "AGE = 1" + std::string(128, ')')).Header().iNodes, 3);
  std::string fits = "AGE = 1";
  for (int i = 0; i < 400; ++i) fits += " and AGE = 1";
  EXPECT_EQ(Build(fits).Header().iNodes, 401 * 3 + 400);
}

}  // namespace
}  // namespace vader::testing
