#include "xml/node_scanner.h"

#include "xml/file_stream.h"
#include "xml/result_log.h"
#include "xml/xml_names.h"

namespace {

enum : uint32_t {
  AfterLt = 0x1,
  AfterLtBang = 0x2,
  AfterLtBangDash = 0x4,
  AfterLtBangBracket = 0x8,
  InWhitespace = 0x10,
  InDoctype = 0x20,
  InSingleQuote = 0x40,
  InDoubleQuote = 0x80,
  AfterEquals = 0x100,
  InUnquotedValue = 0x200,
};

// Closing delimiters; the multi-character ones are matched backwards from
// their final '>'.
enum class Delim { None, Lt, Gt, PiEnd, CommentEnd, CdataEnd };

const wchar_t* DelimText(Delim d) {
  switch (d) {
    case Delim::PiEnd:
      return L"?>";
    case Delim::CommentEnd:
      return L"-->";
    case Delim::CdataEnd:
      return L"]]>";
    default:
      return L">";
  }
}

bool IsElementStart(wchar_t c) {
  return c > 0x60 || (c >= L'A' && c <= L'Z') || c == L'_' || c == L':';
}

// Offsets in the log count from the start of the whole text, also when a
// stream has dropped the part before base.
void AddSyntax(NodeInfo& node, const wchar_t* entry, int32_t base) {
  AddResult(node.log, 0, entry, nullptr, base + node.start, -1);
}

}  // namespace

const wchar_t* NodeLogWord(NodeKind kind) {
  switch (kind) {
    case NodeKind::EndTag:
      return L"end_tag";
    case NodeKind::Element:
      return L"start_tag";
    case NodeKind::CdataSection:
      return L"cdata_section";
    case NodeKind::ProcessingInstruction:
      return L"processing_instruction";
    case NodeKind::Comment:
      return L"comment";
    case NodeKind::DocumentType:
      return L"document_type";
    default:
      return L"tag";
  }
}

NodeKind NodeScanner::NextNode(NodeInfo& node) {
  node.start = cursor;
  node.flags = 0;
  node.log.Clear();
  uint32_t mode = 0;
  NodeKind kind = NodeKind::SyntaxError;
  Delim delim = Delim::None;
  int32_t pending = -1;
  wchar_t last1 = 0, last2 = 0;  // the last two characters of a start tag
  int32_t end = textLength;
  int32_t i = cursor;
  int32_t stop;  // where the node ends
  for (;; ++i) {
    if (i >= end) {
      int32_t dropped = 0;
      if (stream && refill) {
        if (refill(stream, node.start, &dropped)) {
          // Everything before the node has gone: offsets move down with it.
          text = stream->text->c_str();
          end = textLength = static_cast<int32_t>(stream->text->size());
          base += dropped;
          i -= dropped + 1;
          node.start -= dropped;
          if (pending >= 0) pending -= dropped;
          nameStart -= dropped;
          nameEnd -= dropped;
          continue;
        }
      }
      if (i == node.start) {
        node.kind = NodeKind::EndOfDocument;
        node.length = 0;
        return node.kind;
      }
      if (kind != NodeKind::Text && kind != NodeKind::Whitespace) {
        AddResult(node.log, kResultType, L"unterminated_tag_syntax",
                  (mode & InDoctype) ? L"document_type" : NodeLogWord(kind), base + node.start, -1);
        kind = NodeKind::SyntaxError;
      }
      stop = end;
      break;
    }
    wchar_t c = text[i];
    if (pending >= 0) {
      if (!IsTagNameEnd(c)) continue;
      nameStart = pending;
      nameEnd = i - 1;
      pending = -1;
      last1 = last2 = 0;
    }
    if (delim == Delim::None) {
      if (i == node.start) {
        if (c == L'<') {
          mode |= AfterLt;
        } else if (IsXmlSpace(c)) {
          kind = NodeKind::Whitespace;
          mode |= InWhitespace;
        } else {
          kind = NodeKind::Text;
          delim = Delim::Lt;
        }
      } else if (mode & InWhitespace) {
        if (c == L'<') {
          stop = i;
          break;
        }
        if (!IsXmlSpace(c)) {
          kind = NodeKind::Text;
          delim = Delim::Lt;
          mode &= ~InWhitespace;
        }
      } else if (mode & AfterLt) {
        mode &= ~AfterLt;
        if (IsElementStart(c)) {
          kind = NodeKind::Element;
          pending = i;
          delim = Delim::Gt;
        } else if (c == L'/') {
          kind = NodeKind::EndTag;
          pending = i + 1;
          delim = Delim::Gt;
        } else if (c == L'!') {
          mode |= AfterLtBang;
        } else if (c == L'?') {
          kind = NodeKind::ProcessingInstruction;
          pending = i + 1;
          delim = Delim::PiEnd;
        } else {
          AddSyntax(node, L"first_tag_syntax", base);
          kind = NodeKind::SyntaxError;
          delim = Delim::Gt;
        }
      } else if (mode & AfterLtBang) {
        mode &= ~AfterLtBang;
        if (c == L'-') {
          mode |= AfterLtBangDash;
        } else if (mode & InDoctype) {
          if (c == L'A' || c == L'E' || c == L'N') {
            kind = NodeKind::DocumentType;
          } else {
            AddSyntax(node, L"doctype_tag_syntax", base);
            kind = NodeKind::SyntaxError;
          }
          delim = Delim::Gt;
        } else if (c == L'[') {
          mode |= AfterLtBangBracket;
        } else if (c == L'D') {
          mode |= InDoctype;
        } else {
          AddSyntax(node, L"exclamation_tag_syntax", base);
          kind = NodeKind::SyntaxError;
          delim = Delim::Gt;
        }
      } else if (mode & AfterLtBangDash) {
        mode &= ~AfterLtBangDash;
        if (c == L'-') {
          kind = NodeKind::Comment;
          delim = Delim::CommentEnd;
        } else {
          AddSyntax(node, L"comment_tag_syntax", base);
          kind = NodeKind::SyntaxError;
          delim = Delim::Gt;
        }
      } else if (mode & AfterLtBangBracket) {
        mode &= ~AfterLtBangBracket;
        if (c == L'C') {
          kind = NodeKind::CdataSection;
          delim = Delim::CdataEnd;
        } else {
          AddSyntax(node, L"cdata_section_syntax", base);
          kind = NodeKind::SyntaxError;
          delim = Delim::Gt;
        }
      } else if (mode & InDoctype) {
        if (c == L'<') {
          mode |= AfterLt;
        } else if (c == L'>') {
          kind = NodeKind::DocumentType;
          stop = i + 1;
          break;
        }
      }
      continue;
    }

    if (kind == NodeKind::Text) {
      // Only '<' and '>' end text: skip the rest in a tight loop.
      while (c != L'<' && c != L'>') {
        if (++i >= end) break;
        c = text[i];
      }
      if (i >= end) {
        --i;
        continue;
      }
    } else if (kind == NodeKind::Comment || kind == NodeKind::CdataSection ||
               kind == NodeKind::ProcessingInstruction) {
      while (c != L'>') {
        if (++i >= end) break;
        c = text[i];
      }
      if (i >= end) {
        --i;
        continue;
      }
    }

    if (c == L'>' && !(mode & (InSingleQuote | InDoubleQuote))) {
      bool ends = true;
      if (delim != Delim::Lt && delim != Delim::Gt) {
        const wchar_t* d = DelimText(delim);
        int32_t lead = static_cast<int32_t>(WStr::Length(d)) - 1;
        ends = false;
        if (base + i > lead + 1) {
          ends = true;
          for (int32_t k = 0; k < lead; ++k) {
            if (text[i - lead + k] != d[k]) ends = false;
          }
        }
        if (!ends) mode &= ~InUnquotedValue;
      }
      if (ends) {
        if (mode & InDoctype) {
          delim = Delim::None;
          mode &= ~(InSingleQuote | InDoubleQuote | AfterEquals | InUnquotedValue);
          continue;
        }
        if (kind == NodeKind::Element && last1 == L'/') {
          bool slashInValue =
              (mode & InUnquotedValue) && !IsXmlSpace(last2) && last2 != L'"' && last2 != L'\'';
          if (!slashInValue) node.flags |= NodeInfo::EmptyElement;
        }
        stop = i + 1;
        break;
      }
    } else if (c == L'<' && (kind == NodeKind::Text || kind == NodeKind::SyntaxError)) {
      stop = i;
      break;
    } else if (kind == NodeKind::Element || kind == NodeKind::SyntaxError) {
      if (mode & InDoubleQuote) {
        if (c == L'"') mode &= ~InDoubleQuote;
      } else if (mode & InSingleQuote) {
        if (c == L'\'') mode &= ~InSingleQuote;
      } else if (mode & InUnquotedValue) {
        if (IsXmlSpace(c)) mode &= ~InUnquotedValue;
      } else if (mode & AfterEquals) {
        if (c == L'"') {
          mode = (mode & ~AfterEquals) | InDoubleQuote;
        } else if (c == L'\'') {
          mode = (mode & ~AfterEquals) | InSingleQuote;
        } else if (!IsXmlSpace(c)) {
          mode = (mode & ~AfterEquals) | InUnquotedValue;
        }
      } else if (c == L'=') {
        mode |= AfterEquals;
      }
    } else if (kind == NodeKind::DocumentType) {
      if (c == L'"' && !(mode & InSingleQuote)) mode ^= InDoubleQuote;
      if (c == L'\'' && !(mode & InDoubleQuote)) mode ^= InSingleQuote;
    }
    if (kind == NodeKind::Element) {
      last2 = last1;
      last1 = c;
    }
  }
  node.kind = kind;
  node.length = stop - node.start;
  cursor = stop;
  return kind;
}
