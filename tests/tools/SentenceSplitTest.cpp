// Sentence splitting as tables of input and the sentences it yields.
#include <gtest/gtest.h>

#include "host/SentenceSplit.h"
#include "platform/Text.h"

namespace zqe::cli {
namespace {

std::string Dump(std::u16string_view text) {
  std::string out;
  for (const auto& s : SplitSentences(text)) {
    if (!out.empty()) out += " | ";
    out += U16ToUtf8(s.text);
  }
  return out;
}

struct Case {
  const char* input;
  const char* sentences;
};

const Case kChinese[] = {
    {"今天天气很好。我们去公园吧！你来吗？", "今天天气很好。 | 我们去公园吧！ | 你来吗？"},
    {"他说：“你好。”然后走了。", "他说：“你好。” | 然后走了。"},
    {"（这是括号里的话。）后面的话。", "（这是括号里的话。） | 后面的话。"},
    {"第一句；第二句", "第一句； | 第二句"},
    {"这是什么？这是书．好的", "这是什么？ | 这是书． | 好的"},
    {"真的吗？！当然。", "真的吗？！ | 当然。"},
    {"第一行没有标点\n第二行也没有\r\n\r\n第三行", "第一行没有标点 | 第二行也没有 | 第三行"},
    {"这是中文.然后继续", "这是中文. | 然后继续"},
    {"版本号是3.5。很好。", "版本号是3.5。 | 很好。"},
    {"　　段首有全角空格。", "段首有全角空格。"},
};

const Case kEnglish[] = {
    {"Hello world. This is a test.", "Hello world. | This is a test."},
    {"The value is 3.14 today. Next one.", "The value is 3.14 today. | Next one."},
    {"Version 2.0.1 is out. It works.", "Version 2.0.1 is out. | It works."},
    {"It costs $1,000.50 in total; that is a lot.", "It costs $1,000.50 in total; | that is a lot."},
    {"Visit https://example.com/a?b=1;c=2.html now. Then leave.",
     "Visit https://example.com/a?b=1;c=2.html now. | Then leave."},
    {"See https://example.com/x?y=1. It is fine.", "See https://example.com/x?y=1. | It is fine."},
    {"See www.example.org. It is fine.", "See www.example.org. | It is fine."},
    {"Use tools, e.g. a hammer. Done here.", "Use tools, e.g. a hammer. | Done here."},
    {"Some fruit, i.e. Apples and pears. Fine.", "Some fruit, i.e. Apples and pears. | Fine."},
    {"Mr. Smith went to Washington. He arrived late.", "Mr. Smith went to Washington. | He arrived late."},
    {"Published Jan. 5 by Dr. Li. The end.", "Published Jan. 5 by Dr. Li. | The end."},
    {"The U.S. Senate voted. Then it ended.", "The U.S. Senate voted. | Then it ended."},
    {"Written by J. R. Tolkien. Read it.", "Written by J. R. Tolkien. | Read it."},
    {"(This is in brackets.) Next.", "(This is in brackets.) | Next."},
    {"He said \"stop!\" Then he left.", "He said \"stop!\" | Then he left."},
    {"Wait?! Really... Yes.", "Wait?! | Really... | Yes."},
    {"I said no. Then I left.", "I said no. | Then I left."},
    {"See fig. 3 for details. Done.", "See fig. 3 for details. | Done."},
};

const Case kMixed[] = {
    {"中文句子。English sentence here. 又一句中文！", "中文句子。 | English sentence here. | 又一句中文！"},
    {"他用了 Python 3.11 版本。It worked!好的", "他用了 Python 3.11 版本。 | It worked! | 好的"},
    {"网址是 https://例子.com/路径。下一句。", "网址是 https://例子.com/路径。 | 下一句。"},
    {"参见 www.example.com/a.html，很有用。Okay.", "参见 www.example.com/a.html，很有用。 | Okay."},
    {"", ""},
    {" \n\t\n", ""},
};

void RunTable(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) EXPECT_EQ(Dump(Utf8ToU16(c->input)), c->sentences) << c->input;
}

TEST(SentenceSplitTest, ChineseEndsQuotesBracketsAndLineBreaks) { RunTable(std::begin(kChinese), std::end(kChinese)); }
TEST(SentenceSplitTest, EnglishNumbersUrlsAndAbbreviationsStayWhole) {
  RunTable(std::begin(kEnglish), std::end(kEnglish));
}
TEST(SentenceSplitTest, MixedTextSplitsAtBothKindsOfEnds) { RunTable(std::begin(kMixed), std::end(kMixed)); }

TEST(SentenceSplitTest, OffsetsPointAtTheSentenceInTheDocument) {
  const std::u16string text = u"  第一句。\n  Second one here.  第三句！";
  const auto sentences = SplitSentences(text);
  ASSERT_EQ(sentences.size(), 3u);
  for (const auto& s : sentences) {
    EXPECT_EQ(s.length, s.text.size());
    EXPECT_EQ(text.substr(s.offset, s.length), s.text);
  }
  EXPECT_EQ(sentences[1].offset, 9u);
}

TEST(SentenceSplitTest, SurrogatePairsStayInOneSentence) {
  const std::u16string text = u"古字𠀀在这里。下一句。";
  const auto sentences = SplitSentences(text);
  ASSERT_EQ(sentences.size(), 2u);
  EXPECT_EQ(sentences[0].text, u"古字𠀀在这里。");
}

}  // namespace
}  // namespace zqe::cli
