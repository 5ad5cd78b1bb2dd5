#include "PageGenerator.h"

#include <cstdint>

namespace zqe::html::bench {
namespace {

struct Rng {
  uint32_t s = 12345;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

const char* kWords[] = {"连云港", "月子", "会所", "中心", "精准", "客户", "营销", "搜索", "结果", "页面",
                        "the", "quick", "engine", "result", "page", "parser", "&amp;", "&nbsp;", "&quot;x&quot;"};

std::string Words(Rng& r, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    if (i) out += (r.Next() % 4) ? "" : " ";
    out += kWords[r.Next() % (sizeof kWords / sizeof kWords[0])];
  }
  return out;
}

std::string Script(Rng& r) {
  std::string s = "<script type=\"text/javascript\">\n";
  for (int i = 0; i < 30; ++i) {
    s += "  var v" + std::to_string(r.Next() % 1000) + " = \"</div>\" + 'x' + (a < b ? 1 : 2); // note\n";
    s += "  /* block */ if (n.length > 3) { f(\"a\\\"b\", '" + std::to_string(i) + "'); }\n";
  }
  return s + "</script>\n";
}

std::string Entry(Rng& r, int i) {
  std::string e = "<div class=\"result c-container\" id=\"" + std::to_string(i) + "\" srcid=\"1599\" tpl=\"se_com_default\">";
  e += "<h3 class=\"t\"><a data-click=\"{'F':'778317EA','T':'1'}\" href=\"http://www.baidu.com/link?url=abc" +
       std::to_string(r.Next()) + "&amp;wd=x\" target=\"_blank\">" + Words(r, 6) + "<em>" + Words(r, 2) +
       "</em></a></h3>\n";
  e += "<div class=\"c-abstract\"><span class=\" newTimeFactor_before_abs m\">2018年9月1日&nbsp;-&nbsp;</span>" +
       Words(r, 60) + "<p>" + Words(r, 30) + "<p>" + Words(r, 20) + "</div>\n";
  e += "<div class=\"f13\"><a target=\"_blank\" href=\"http://x/\" class=\"c-showurl\" style=\"text-decoration:none;\">www." +
       std::to_string(i) + ".example/&nbsp;</a><div class=\"c-tools\" data-tools='{\"title\":\"t\"}'><a class=\"c-tip-icon\"><i class=\"c-icon c-icon-triangle-down-g\"></i></a></div></div>\n";
  e += "<ul class=\"c-row\"><li>" + Words(r, 5) + "<li>" + Words(r, 5) + "<li><a href=\"#\">" + Words(r, 3) +
       "</a></ul>\n";
  return e + "</div>\n";
}

}  // namespace

std::string MakeResultPage(size_t targetBytes) {
  Rng r;
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset=utf-8\">"
      "<title>连云港骐扬月子会所中心精准客户营销_百度搜索</title>\n"
      "<style data-for=\"result\">\n .c-container{width:538px;font-size:13px} .t a{color:#00c} em{color:#c00}\n</style>\n";
  page += Script(r);
  page += "</head><body class=\"\"><div id=\"wrapper\" class=\"wrapper_l\"><div id=\"head\"><div class=\"head_wrapper\">"
          "<form id=\"form\" name=\"f\" action=\"/s\"><input type=\"hidden\" name=\"ie\" value=\"utf-8\"><input id=\"kw\" name=\"wd\" value=\"q\"></form></div></div>\n"
          "<div id=\"container\"><div id=\"content_left\">\n";
  for (int i = 1; i <= 10; ++i) page += Entry(r, i);
  page += "</div><div id=\"content_right\">";
  // Side columns, navigation and scripts fill the page up to its size, as
  // on real result pages where the entries are a small part.
  int block = 0;
  while (page.size() + 200 < targetBytes) {
    if (block % 7 == 0) {
      page += Script(r);
    } else {
      page += "<div class=\"opr-recommends-merge-panel\"><div class=\"cr-title c-clearfix\"><span title=\"" +
              Words(r, 3) + "\">" + Words(r, 4) + "</span></div><table class=\"c-table\"><tr><td><a href=\"/s?wd=" +
              std::to_string(block) + "&amp;rsv=1\"><img src=\"https://ss0.bdstatic.com/x.jpg\" width=\"60\"></a>" +
              "<p class=\"c-gap-top-small\">" + Words(r, 8) + "</td><td><a>" + Words(r, 3) + "</a></td></tr></table></div>\n";
    }
    ++block;
  }
  page += "</div></div></div><div id=\"foot\">&copy;2018&nbsp;Baidu <!-- footer --></div></body></html>\n";
  return page;
}

}  // namespace zqe::html::bench
