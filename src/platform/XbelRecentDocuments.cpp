// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/XbelRecentDocuments.h"

#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace vorlane {

namespace {

const QString BookmarkNs = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString MimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString MetadataOwner = QStringLiteral("http://freedesktop.org");
// Deeper nesting than any bookmark file has; a file beyond it is not taken as XBEL.
constexpr size_t MaxDepth = 64;

// The file as a tree that writes back what it read: elements with their prefixes,
// namespace declarations and attributes, text, comments and processing instructions.
struct Node {
    enum class Kind { Document, Element, Text, CData, Comment, Instruction, Dtd };
    Kind kind = Kind::Element;
    QString name; // qualified name of an element, target of an instruction
    QString localName;
    QString namespaceUri;
    QXmlStreamNamespaceDeclarations namespaces;
    QXmlStreamAttributes attributes;
    QString text;
    std::vector<Node> children;

    QString attribute(const QString& attributeName) const {
        return attributes.value(attributeName).toString();
    }
    void setAttribute(const QString& attributeName, const QString& value) {
        for (QXmlStreamAttribute& a : attributes)
            if (a.qualifiedName() == attributeName) {
                a = QXmlStreamAttribute(attributeName, value);
                return;
            }
        attributes.append(attributeName, value);
    }
    Node* child(const QString& ns, const QString& local,
                const std::function<bool(const Node&)>& match = {}) {
        for (Node& c : children)
            if (c.kind == Kind::Element && c.localName == local && c.namespaceUri == ns &&
                (!match || match(c)))
                return &c;
        return nullptr;
    }
};

Node element(const QString& prefix, const QString& local, const QString& ns) {
    Node n;
    n.kind = Node::Kind::Element;
    n.name = prefix.isEmpty() ? local : prefix + QLatin1Char(':') + local;
    n.localName = local;
    n.namespaceUri = ns;
    return n;
}

Node text(const QString& characters) {
    Node n;
    n.kind = Node::Kind::Text;
    n.text = characters;
    return n;
}

// Appends `child` to `parent` on a line of its own, indented for its depth.
Node& appendIndented(Node& parent, Node child, int depth) {
    const QString indent = QLatin1Char('\n') + QString(depth * 2, QLatin1Char(' '));
    // Keep the closing tag on a line of its own too: the last text child (the parent's
    // closing indentation) stays last.
    if (!parent.children.empty() && parent.children.back().kind == Node::Kind::Text &&
        parent.children.back().text.trimmed().isEmpty()) {
        Node closing = parent.children.back();
        parent.children.pop_back();
        parent.children.push_back(text(indent));
        parent.children.push_back(std::move(child));
        parent.children.push_back(std::move(closing));
        return parent.children[parent.children.size() - 2];
    }
    parent.children.push_back(text(indent));
    parent.children.push_back(std::move(child));
    parent.children.push_back(text(QLatin1Char('\n') + QString((depth - 1) * 2, QLatin1Char(' '))));
    return parent.children[parent.children.size() - 2];
}

std::optional<Node> parse(const QByteArray& data) {
    QXmlStreamReader reader(data);
    Node document;
    document.kind = Node::Kind::Document;
    // Pointers to the open elements; each lives in its parent's children, which only
    // grow while that element is the innermost one.
    std::vector<Node*> open{&document};
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (open.size() > MaxDepth) return std::nullopt;
            Node n;
            n.name = reader.qualifiedName().toString();
            n.localName = reader.name().toString();
            n.namespaceUri = reader.namespaceUri().toString();
            n.namespaces = reader.namespaceDeclarations();
            n.attributes = reader.attributes();
            open.back()->children.push_back(std::move(n));
            open.push_back(&open.back()->children.back());
            break;
        }
        case QXmlStreamReader::EndElement:
            open.pop_back();
            break;
        case QXmlStreamReader::Characters: {
            Node n = text(reader.text().toString());
            if (reader.isCDATA()) n.kind = Node::Kind::CData;
            // Whitespace outside the root is not kept; the writer lays out the prologue.
            if (open.size() > 1) open.back()->children.push_back(std::move(n));
            break;
        }
        case QXmlStreamReader::Comment: {
            Node n;
            n.kind = Node::Kind::Comment;
            n.text = reader.text().toString();
            open.back()->children.push_back(std::move(n));
            break;
        }
        case QXmlStreamReader::ProcessingInstruction: {
            Node n;
            n.kind = Node::Kind::Instruction;
            n.name = reader.processingInstructionTarget().toString();
            n.text = reader.processingInstructionData().toString();
            open.back()->children.push_back(std::move(n));
            break;
        }
        case QXmlStreamReader::DTD: {
            Node n;
            n.kind = Node::Kind::Dtd;
            n.text = reader.text().toString();
            open.back()->children.push_back(std::move(n));
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError()) return std::nullopt;
    return document;
}

void write(QXmlStreamWriter& writer, const Node& node) {
    switch (node.kind) {
    case Node::Kind::Document:
        for (const Node& c : node.children)
            write(writer, c);
        break;
    case Node::Kind::Element:
        writer.writeStartElement(node.name);
        for (const QXmlStreamNamespaceDeclaration& d : node.namespaces) {
            if (d.prefix().isEmpty())
                writer.writeDefaultNamespace(d.namespaceUri().toString());
            else
                writer.writeNamespace(d.namespaceUri().toString(), d.prefix().toString());
        }
        for (const QXmlStreamAttribute& a : node.attributes)
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
        for (const Node& c : node.children)
            write(writer, c);
        writer.writeEndElement();
        break;
    case Node::Kind::Text:
        writer.writeCharacters(node.text);
        break;
    case Node::Kind::CData:
        writer.writeCDATA(node.text);
        break;
    case Node::Kind::Comment:
        writer.writeComment(node.text);
        break;
    case Node::Kind::Instruction:
        writer.writeProcessingInstruction(node.name, node.text);
        break;
    case Node::Kind::Dtd:
        writer.writeDTD(node.text);
        break;
    }
}

// The prefix the root declares for `ns`, declaring `wanted` for it when it has none.
QString prefixFor(Node& root, const QString& ns, const QString& wanted) {
    for (const QXmlStreamNamespaceDeclaration& d : root.namespaces)
        if (d.namespaceUri() == ns) return d.prefix().toString();
    root.namespaces.append(QXmlStreamNamespaceDeclaration(wanted, ns));
    return wanted;
}

QString stamp(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

XbelRecentDocuments::XbelRecentDocuments(QString xbelFile, QString application, QString exec)
    : m_file(std::move(xbelFile)), m_application(std::move(application)), m_exec(std::move(exec)),
      m_now([] { return QDateTime::currentDateTimeUtc(); }) {}

QString XbelRecentDocuments::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/recently-used.xbel");
}

bool XbelRecentDocuments::add(const QString& fileName, const QString& mimeType) {
    if (fileName.isEmpty() || m_file.isEmpty()) return false;
    std::optional<Node> document;
    QFile existing(m_file);
    if (existing.exists()) {
        if (existing.size() > MaxFileBytes || !existing.open(QIODevice::ReadOnly)) return false;
        document = parse(existing.readAll());
        existing.close();
        if (!document) return false;
    } else {
        // A new list, laid out as the desktop's own programs write it.
        document = Node{};
        document->kind = Node::Kind::Document;
        Node root = element(QString(), QStringLiteral("xbel"), QString());
        root.attributes.append(QStringLiteral("version"), QStringLiteral("1.0"));
        root.namespaces.append(
            QXmlStreamNamespaceDeclaration(QStringLiteral("bookmark"), BookmarkNs));
        root.namespaces.append(QXmlStreamNamespaceDeclaration(QStringLiteral("mime"), MimeNs));
        root.children.push_back(text(QStringLiteral("\n")));
        document->children.push_back(std::move(root));
    }
    Node* root = document->child(QString(), QStringLiteral("xbel"));
    if (!root) return false; // some other XML document
    const QString bookmarkPrefix = prefixFor(*root, BookmarkNs, QStringLiteral("bookmark"));
    const QString mimePrefix = prefixFor(*root, MimeNs, QStringLiteral("mime"));

    const QString href =
        QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toString(QUrl::FullyEncoded);
    const QString now = stamp(m_now());
    Node* bookmark = root->child(QString(), QStringLiteral("bookmark"), [&](const Node& b) {
        return b.attribute(QStringLiteral("href")) == href;
    });
    if (!bookmark) {
        Node fresh = element(QString(), QStringLiteral("bookmark"), QString());
        fresh.setAttribute(QStringLiteral("href"), href);
        fresh.setAttribute(QStringLiteral("added"), now);
        bookmark = &appendIndented(*root, std::move(fresh), 1);
    }
    bookmark->setAttribute(QStringLiteral("modified"), now);
    bookmark->setAttribute(QStringLiteral("visited"), now);

    Node* info = bookmark->child(QString(), QStringLiteral("info"));
    if (!info)
        info = &appendIndented(*bookmark, element(QString(), QStringLiteral("info"), QString()), 2);
    Node* metadata = info->child(QString(), QStringLiteral("metadata"), [](const Node& m) {
        return m.attribute(QStringLiteral("owner")) == MetadataOwner;
    });
    if (!metadata) {
        Node fresh = element(QString(), QStringLiteral("metadata"), QString());
        fresh.setAttribute(QStringLiteral("owner"), MetadataOwner);
        metadata = &appendIndented(*info, std::move(fresh), 3);
    }
    Node* mime = metadata->child(MimeNs, QStringLiteral("mime-type"));
    if (!mime)
        mime =
            &appendIndented(*metadata, element(mimePrefix, QStringLiteral("mime-type"), MimeNs), 4);
    mime->setAttribute(QStringLiteral("type"), mimeType);
    Node* applications = metadata->child(BookmarkNs, QStringLiteral("applications"));
    if (!applications)
        applications = &appendIndented(
            *metadata, element(bookmarkPrefix, QStringLiteral("applications"), BookmarkNs), 4);
    Node* us = applications->child(BookmarkNs, QStringLiteral("application"), [&](const Node& a) {
        return a.attribute(QStringLiteral("name")) == m_application;
    });
    int count = 0;
    if (us) {
        count = us->attribute(QStringLiteral("count")).toInt();
    } else {
        Node fresh = element(bookmarkPrefix, QStringLiteral("application"), BookmarkNs);
        fresh.setAttribute(QStringLiteral("name"), m_application);
        fresh.setAttribute(QStringLiteral("exec"), m_exec);
        us = &appendIndented(*applications, std::move(fresh), 5);
    }
    us->setAttribute(QStringLiteral("modified"), now);
    us->setAttribute(QStringLiteral("count"), QString::number(qMax(count, 0) + 1));

    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile out(m_file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    {
        QXmlStreamWriter writer(&out);
        writer.writeStartDocument();
        writer.writeCharacters(QStringLiteral("\n"));
        write(writer, *document);
        writer.writeEndDocument();
        if (writer.hasError()) {
            out.cancelWriting();
            return false;
        }
    }
    // commit() can report success although its last flush failed: flush and check first.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace vorlane
