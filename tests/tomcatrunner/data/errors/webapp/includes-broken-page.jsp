<p>before</p>
<jsp:include page="/java-error.jsp"/>
