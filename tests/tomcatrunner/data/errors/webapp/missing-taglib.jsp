<%@ taglib uri="http://example.com/tags/none" prefix="x" %>
<html>
<x:hello/>
</html>
