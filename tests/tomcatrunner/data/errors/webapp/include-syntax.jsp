<html>
<body>
<p>Header</p>
<%@ include file="/WEB-INF/jspf/unterminated.jspf" %>
<p>Footer</p>
</body>
</html>
