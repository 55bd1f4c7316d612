<%@ page import="no.such.pkg.Thing" %>
<html>
<p>hi</p>
</html>
