<%@ page contentType="text/html; charset=UTF-8" %>
<html>
<body>
<%@ include file="/WEB-INF/include/banner.jspf" %>
<p>index-after-include</p>
<% String who = "index-scriptlet"; %>
<%= who.length() /* index-expression */ %>
</body>
</html>
