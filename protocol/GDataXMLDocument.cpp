#include "protocol/GDataXMLDocument.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include "system/FreeWith.h"
#include "system/IntSize.h"

namespace karv {
namespace {
using XPathContextPtr = std::unique_ptr<xmlXPathContext, FreeWith<xmlXPathFreeContext>>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, FreeWith<xmlXPathFreeObject>>;
using ParserContextPtr = std::unique_ptr<xmlParserCtxt, FreeWith<xmlFreeParserCtxt>>;
using DocPtr = std::unique_ptr<xmlDoc, FreeWith<xmlFreeDoc>>;

// libxml2 reports parse errors on stderr by default; replies are untrusted
// input, so the errors are dropped and only the outcome counts.
void ignoreXmlError(void*, const char*, ...) {}

// Replies never declare a document type. One that does is stopped at the
// declaration, before its entities are read: expanded at every read of a
// field, a few of them make gigabytes of a small reply.
void refuseDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* parser = static_cast<xmlParserCtxtPtr>(context);
  *static_cast<bool*>(parser->_private) = true;
  xmlStopParser(parser);
}
}  // namespace

std::unique_ptr<GDataXMLDocument> GDataXMLDocument::initWithXMLString(const std::string& text) {
  if (!fitsInt(text.size())) return nullptr;
  xmlSetGenericErrorFunc(nullptr, ignoreXmlError);
  ParserContextPtr parser(xmlNewParserCtxt());
  if (!parser) return nullptr;
  bool doctype = false;
  parser->_private = &doctype;
  parser->sax->internalSubset = refuseDoctype;
  // XML_PARSE_NONET: a reply must never make the parser fetch anything.
  DocPtr doc(xmlCtxtReadMemory(
      parser.get(), text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
      XML_PARSE_NOCDATA | XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc || doctype || doc->intSubset || doc->extSubset || !xmlDocGetRootElement(doc.get())) return nullptr;
  return std::unique_ptr<GDataXMLDocument>(new GDataXMLDocument(doc.release()));
}

GDataXMLDocument::~GDataXMLDocument() { xmlFreeDoc(doc_); }

GDataXMLNodePtr GDataXMLDocument::rootElement() const { return GDataXMLNode::wrap(xmlDocGetRootElement(doc_)); }

std::optional<std::vector<GDataXMLNodePtr>> GDataXMLDocument::nodesForXPath(const std::string& xpath) const {
  XPathContextPtr ctx(xmlXPathNewContext(doc_));
  if (!ctx) return std::nullopt;
  ctx->node = reinterpret_cast<xmlNodePtr>(doc_);
  if (xmlNodePtr root = xmlDocGetRootElement(doc_)) {
    for (xmlNsPtr ns = root->nsDef; ns; ns = ns->next) {
      const xmlChar* prefix = ns->prefix ? ns->prefix : BAD_CAST "_def_ns";
      xmlXPathRegisterNs(ctx.get(), prefix, ns->href);
    }
  }
  XPathObjectPtr result(xmlXPathEval(BAD_CAST xpath.c_str(), ctx.get()));
  if (!result) return std::nullopt;
  std::vector<GDataXMLNodePtr> nodes;
  if (result->type == XPATH_NODESET && result->nodesetval) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      xmlNodePtr n = result->nodesetval->nodeTab[i];
      // Namespace nodes in a node set are copies that die with the result.
      if (n->type != XML_NAMESPACE_DECL) nodes.push_back(GDataXMLNode::wrap(n));
    }
  }
  return nodes;
}

GDataXMLNodePtr GDataXMLDocument::firstNodeForXPath(const std::string& xpath) const {
  auto nodes = nodesForXPath(xpath);
  if (!nodes || nodes->empty()) return nullptr;
  return nodes->front();
}

}  // namespace karv
