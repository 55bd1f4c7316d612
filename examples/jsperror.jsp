<html>
<body>
<p>The expression below is never closed.</p>
<%= request.getParameter("name")
</body>
</html>
