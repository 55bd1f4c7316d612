<%@ taglib prefix="t" tagdir="/WEB-INF/tags" %>
<html>
<t:x>
  <jsp:attribute name="frag">
    <b>fragment-text ${"fragment-expression"}</b>
  </jsp:attribute>
  <jsp:body>
    <i>body-text ${"body-expression"}</i>
  </jsp:body>
</t:x>
</html>
