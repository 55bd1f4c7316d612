#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace jdwp {

// The class Jasper (Tomcat 10.1's JSP compiler) generates for a JSP page or a tag file of
// a web application, and the forms JDWP asks for it in:
//   /index.jsp            -> org.apache.jsp.index_jsp
//   /WEB-INF/jsp/403.jsp  -> org.apache.jsp.WEB_002dINF.jsp._403_jsp
//   /WEB-INF/tags/x.tag   -> org.apache.jsp.tag.web.x_tag
// Tag files packed in JARs (/META-INF/tags/) are named after their tag library's URI and
// are not covered.
class JasperNames {
public:
    // `path` is the UTF-8 path of the page in the web application, starting with "/".
    // Throws jdwp::Error for a path Jasper could not compile (relative, no file name) or
    // that is not valid UTF-8.
    explicit JasperNames(std::string_view path);

    // The fully qualified name, "org.apache.jsp.index_jsp".
    const std::string& className() const { return className_; }
    // The JNI signature ClassesBySignature takes, "Lorg/apache/jsp/index_jsp;".
    std::string signature() const;
    // ClassPrepare ClassMatch patterns that together match the class and its inner classes
    // (a fragment's $Helper) and nothing else: "org.apache.jsp.index_jsp" and
    // "org.apache.jsp.index_jsp$*". A request's modifiers must all match, so each pattern
    // needs its own event request. A single "index_jsp*" would also catch index_jsp_old.
    std::vector<std::string> classPreparePatterns() const;
    // Whether `name` (dotted) is the class or one of its inner classes.
    bool owns(std::string_view name) const;

    // Jasper's Java identifier for one path segment (JspUtil.makeJavaIdentifier): "." becomes
    // "_", other characters a Java identifier cannot hold (and "_" itself) become "_" and
    // the four hex digits of their UTF-16 units, a segment that cannot start an identifier
    // gets a leading "_", and a Java keyword a trailing "_".
    static std::string javaIdentifier(std::string_view segment);

private:
    std::string className_;
};

} // namespace jdwp
