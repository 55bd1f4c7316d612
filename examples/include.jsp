<html>
<body>
<h1>Before the header</h1>
<jsp:include page="header.jsp"/>
<p>After the header</p>
</body>
</html>
