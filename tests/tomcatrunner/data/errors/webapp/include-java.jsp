<html>
<%@ include file="/WEB-INF/jspf/bad-java.jspf" %>
<p>after</p>
<% int local = "no"; %>
</html>
