<%@ page pageEncoding="UTF-8" %>
<html>
<body>
<ul>
	<li>Größe <%= "x"
</ul>
</body>
</html>
